// Fixed paths, redirectable under CVXSCAPE_ROOT.
#include "shell/paths.h"

#include <cstdlib>

#ifndef CVX_INSTALLED_PIXMAP_DIR
#define CVX_INSTALLED_PIXMAP_DIR "/usr/local/share/cvxscape/pixmaps"
#endif

namespace cvx::paths {

std::string root()
{
    const char* r = std::getenv("CVXSCAPE_ROOT");
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

std::string installed_pixmap_dir()
{
    // An installed copy under a redirected root is a test of the install
    // itself, so this one is not redirected.
    return CVX_INSTALLED_PIXMAP_DIR;
}

std::vector<std::string> pixmap_dirs()
{
    std::vector<std::string> dirs;
#ifdef CVX_SOURCE_PIXMAP_DIR
    // A copy run from the build tree finds the repository's pictures last.
    dirs.push_back(CVX_SOURCE_PIXMAP_DIR);
#endif
    dirs.push_back(installed_pixmap_dir());
    dirs.push_back(under_root("/usr/X11R6/share/cvxscape/pixmaps"));
    dirs.push_back(under_root("/tmp/a/ports/x11/cvxscape/work/cvxscape/pixmaps"));
    return dirs;
}

std::string config_search_root() { return root(); }

}  // namespace cvx::paths
