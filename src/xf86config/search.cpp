// Locating, opening and reading the configuration file: the X server's
// search templates and its default search list.
#include "xf86config/internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The open file between xf86openConfigFile and xf86closeConfigFile.
struct OpenFile {
    int fd = -1;
    std::string path;
};
OpenFile g_open;
std::string g_last_path;   // what xf86openConfigFile returned; outlives the close
std::optional<std::string> g_root;   // set by xf86setConfigRoot

// Largest file we read; far above any real configuration, it keeps a wrong
// path (a disk image, a log) from exhausting memory.
constexpr off_t kMaxFileSize = off_t(256) << 20;

std::string search_root()
{
    if (g_root)
        return *g_root;
    // Same rule as the program's fixed paths: a private root for tests, and
    // only in builds that have the test seams.
#if CVX_TEST_HOOKS
    const char* r = std::getenv("CVXSCAPE_ROOT");
#else
    const char* r = nullptr;
#endif
    std::string root = r ? r : "";
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

bool is_safe(const std::string& p)
{
    if (p.empty() || p[0] == '/')
        return false;
    if (p == ".." || p.rfind("../", 0) == 0 || p.find("/../") != std::string::npos)
        return false;
    return !(p.size() >= 3 && p.compare(p.size() - 3, 3, "/..") == 0);
}

bool elevated()
{
    return getuid() != geteuid() || getgid() != getegid();
}

// Expands one template; nullopt when an escape cannot be filled.
std::optional<std::string> expand(const std::string& tmpl, const char* cmdline, const char* projroot,
                                  const char* env, bool& uses_cmdline)
{
    std::string out;
    uses_cmdline = false;
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '%') {
            out.push_back(tmpl[i]);
            continue;
        }
        if (++i >= tmpl.size()) {
            ErrorF("invalid escape %% at the end of path template\n");
            return std::nullopt;
        }
        const char c = tmpl[i];
        switch (c) {
        case 'A': case 'R': case 'S': {
            uses_cmdline = true;
            if (!cmdline)
                return std::nullopt;
            std::string a = cmdline;
            if (c == 'A' && (a.empty() || a[0] != '/'))
                return std::nullopt;
            if (c == 'R' && (a.empty() || a[0] == '/'))
                return std::nullopt;
            if (c == 'S' && !is_safe(a))
                return std::nullopt;
            out += a;
            break;
        }
        case 'E': case 'F': case 'G': {
            if (!env)
                return std::nullopt;
            std::string e = env;
            if (c == 'E' && (e.empty() || e[0] != '/'))
                return std::nullopt;
            if (c == 'F' && (e.empty() || e[0] == '/'))
                return std::nullopt;
            if (c == 'G' && !is_safe(e))
                return std::nullopt;
            out += e;
            break;
        }
        case 'X': out += "xorg.conf"; break;
        case 'H': {
            char host[256] = {};
            if (gethostname(host, sizeof host - 1) != 0)
                return std::nullopt;
            out += host;
            break;
        }
        case 'P': out += projroot && *projroot ? projroot : "/usr"; break;
        case 'C': out += "/etc"; break;
        case 'D': out += "/usr/share"; break;
        case '%': out += '%'; break;
        default:
            ErrorF("invalid escape %%%c found in path template\n", c);
            return std::nullopt;
        }
    }
    return out;
}

int open_regular(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    // Back to blocking reads now that we know it is a plain file.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

void xf86setConfigRoot(const std::string& root)
{
    std::string r = root;
    while (!r.empty() && r.back() == '/')
        r.pop_back();
    g_root = r;
}

const char* xf86openConfigFile(const char* path, const char* cmdline, const char* projroot)
{
    xf86closeConfigFile();
    static const char* const kDefault =
        "%A,%R,/etc/X11/%R,%P/etc/X11/%R,%E,%F,/etc/X11/%F,%P/etc/X11/%F,/etc/X11/%X,/etc/%X,"
        "%P/etc/X11/%X.%H,%P/etc/X11/%X,%P/lib/X11/%X.%H,%P/lib/X11/%X";
    static const char* const kElevated =
        "/etc/X11/%S,%P/etc/X11/%S,/etc/X11/%G,%P/etc/X11/%G,/etc/X11/%X,/etc/%X,"
        "%P/etc/X11/%X.%H,%P/etc/X11/%X,%P/lib/X11/%X.%H,%P/lib/X11/%X";
    const bool default_search = !path || !*path;
    const std::string list = default_search ? (elevated() ? kElevated : kDefault) : path;
    const char* env = std::getenv("XORGCONFIG");
    const std::string root = default_search ? search_root() : std::string();

    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string tmpl = list.substr(start, comma - start);
        start = comma + 1;
        if (tmpl.empty())
            continue;
        bool uses_cmdline = false;
        std::optional<std::string> candidate = expand(tmpl, cmdline, projroot, env, uses_cmdline);
        // With a file named on the command line only the templates that use it count.
        if (!candidate || (cmdline && !uses_cmdline))
            continue;
        std::string full = *candidate;
        if (!root.empty() && !uses_cmdline && !full.empty() && full[0] == '/')
            full = root + full;
        int fd = open_regular(full);
        if (fd >= 0) {
            g_open.fd = fd;
            g_open.path = full;
            g_last_path = full;
            return g_last_path.c_str();
        }
    }
    return nullptr;
}

XF86ConfigPtr xf86readConfigFile()
{
    if (g_open.fd < 0)
        return nullptr;
    struct stat st {};
    if (fstat(g_open.fd, &st) == 0 && st.st_size > kMaxFileSize) {
        ErrorF("The configuration file %s is too large.\n", g_open.path.c_str());
        return nullptr;
    }
    // Read once, into place.
    std::string text = cvx::xf86config::detail::text_with_room(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
    char buf[65536];
    lseek(g_open.fd, 0, SEEK_SET);
    for (;;) {
        ssize_t r = ::read(g_open.fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            ErrorF("Reading %s failed: %s\n", g_open.path.c_str(), std::strerror(errno));
            return nullptr;
        }
        if (r == 0)
            break;
        text.append(buf, static_cast<std::size_t>(r));
        if (static_cast<off_t>(text.size()) > kMaxFileSize) {
            ErrorF("The configuration file %s is too large.\n", g_open.path.c_str());
            return nullptr;
        }
    }
    return cvx::xf86config::detail::parse_text(std::move(text), g_open.path.c_str());
}

void xf86closeConfigFile()
{
    if (g_open.fd >= 0)
        ::close(g_open.fd);
    g_open.fd = -1;
    g_open.path.clear();
}
