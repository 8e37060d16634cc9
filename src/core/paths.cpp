// Fixed paths, redirectable under CVXSCAPE_ROOT in builds with the test seams.
#include "core/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef CVX_INSTALLED_PIXMAP_DIR
#define CVX_INSTALLED_PIXMAP_DIR "/usr/local/share/cvxscape/pixmaps"
#endif
#ifndef CVX_PIXMAP_RELDIR
#define CVX_PIXMAP_RELDIR "../share/cvxscape/pixmaps"
#endif

namespace cvx::paths {

std::string root()
{
    // A test seam: an installed build has no private root.
#if CVX_TEST_HOOKS
    const char* r = std::getenv("CVXSCAPE_ROOT");
#else
    const char* r = nullptr;
#endif
    if (!r || !*r)
        return {};
    std::string s(r);
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s == "/" ? std::string() : s;
}

std::string under_root(const std::string& absolute) { return root() + absolute; }

std::string lock_file() { return under_root("/tmp/cvxscape.lock"); }
std::string driver_in() { return under_root("/tmp/cvxDriverIn"); }
std::string driver_out() { return under_root("/tmp/cvxDriverOut"); }
std::string temp_dir() { return under_root("/tmp"); }
std::string hal_module() { return under_root("/usr/X11R6/lib/modules/drivers/cvx_hal_drv.o"); }
std::string dev_io() { return under_root("/dev/io"); }
std::string dev_mem() { return under_root("/dev/mem"); }

namespace {

std::filesystem::path executable()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe;
}

// Test binaries and the program in the build tree find the repository's
// pictures; an installed copy must find its own, so it does not look there.
bool running_from_build_tree()
{
#ifdef CVX_BUILD_DIR
    const std::string exe = executable().string();
    const std::string build = CVX_BUILD_DIR "/";
    return exe.compare(0, build.size(), build) == 0;
#else
    return false;
#endif
}

}  // namespace

std::string installed_pixmap_dir()
{
    // Relative to the executable, so a copy installed under any prefix
    // (cmake --install --prefix DIR) finds the pictures installed with it.
    // Not redirected under CVXSCAPE_ROOT: it belongs to the installation.
    const auto exe = executable();
    if (exe.empty())
        return CVX_INSTALLED_PIXMAP_DIR;
    return (exe.parent_path() / CVX_PIXMAP_RELDIR).lexically_normal().string();
}

std::vector<std::string> own_pixmap_dirs()
{
    std::vector<std::string> dirs;
#ifdef CVX_SOURCE_PIXMAP_DIR
    if (running_from_build_tree())
        dirs.push_back(CVX_SOURCE_PIXMAP_DIR);
#endif
    const std::string configured = CVX_INSTALLED_PIXMAP_DIR;
    const std::string installed = installed_pixmap_dir();
    if (installed != configured)
        dirs.push_back(configured);
    dirs.push_back(installed);
    return dirs;
}

std::vector<std::string> pixmap_dirs()
{
    std::vector<std::string> dirs = own_pixmap_dirs();
    dirs.push_back(under_root("/usr/X11R6/share/cvxscape/pixmaps"));
    dirs.push_back(under_root("/tmp/a/ports/x11/cvxscape/work/cvxscape/pixmaps"));
    return dirs;
}

std::string config_search_root() { return root(); }

}  // namespace cvx::paths
