#include "driver_support.h"

#include <stdexcept>

#include <sys/stat.h>

namespace cvx::test::driver {

BellWatcher::BellWatcher()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        throw std::runtime_error("BellWatcher: cannot open the display");
    int opcode = 0, error_base = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(m_display, &opcode, &m_event_base, &error_base, &major, &minor))
        throw std::runtime_error("BellWatcher: no XKB on the server");
    XkbSelectEvents(m_display, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
    XSync(m_display, False);
}

BellWatcher::~BellWatcher()
{
    if (m_display)
        XCloseDisplay(m_display);
}

int BellWatcher::take(Display* other)
{
    if (other)
        XSync(other, False);
    // A round trip on our connection: the notifications have arrived.
    XSync(m_display, False);
    int bells = 0;
    while (XPending(m_display)) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type != m_event_base)
            continue;
        auto* xkb = reinterpret_cast<XkbEvent*>(&event);
        if (xkb->any.xkb_type == XkbBellNotify) {
            ++bells;
            m_last_volume = xkb->bell.percent;
        }
    }
    return bells;
}

int BellWatcher::volume_of(Display* other, int percent)
{
    take(other);
    XBell(other, percent);
    if (take(other) != 1)
        throw std::runtime_error("BellWatcher: a reference bell was not seen");
    return m_last_volume;
}

Mode current_mode(Display* display, int screen)
{
    Mode m;
    if (!XF86VidModeGetModeLine(display, screen, &m.clock, &m.line))
        throw std::runtime_error("XF86VidModeGetModeLine failed");
    if (m.line.privsize > 0 && m.line.c_private)
        XFree(m.line.c_private);
    m.line.privsize = 0;
    m.line.c_private = nullptr;
    return m;
}

int refresh_of(const Mode& mode)
{
    const long long pixels = static_cast<long long>(mode.line.htotal) * mode.line.vtotal;
    if (pixels == 0)
        return 0;
    const double hz = static_cast<double>(mode.clock) * 1000.0 / static_cast<double>(pixels);
    return static_cast<int>(hz * 100 + 50) / 100;
}

bool set_mode(Display* display, int screen, const XF86VidModeModeLine& line)
{
    XF86VidModeModeLine copy = line;
    const bool ok = XF86VidModeModModeLine(display, screen, &copy);
    XSync(display, False);
    return ok;
}

bool exists_no_follow(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool is_symlink(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace cvx::test::driver
