// What the windows read from the running X server.
#include "driver/running.h"

#include <cstdio>

#include <X11/extensions/Xinerama.h>

#include "config/refresh.h"
#include "core/c_ptr.h"
#include "core/locked_screens.h"
#include "core/x_error.h"

namespace cvx::running {

namespace {

std::string format(const char* fmt, auto... args)
{
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), fmt, args...);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

bool read_mode_line(Display* display, int screen, XF86VidModeModeLine& mode, int& dot_clock)
{
    if (!display)
        return false;
    XErrorScope scope(display);
    XF86VidModeModeLine fresh{};
    int clock = 0;
    const bool sent = XF86VidModeGetModeLine(display, screen, &clock, &fresh);
    CPtr<INT32, XFree> unused(fresh.c_private);
    fresh.c_private = nullptr;
    fresh.privsize = 0;
    if (scope.failed() || !sent)
        return false;
    mode = fresh;
    dot_clock = clock;
    return true;
}

int xinerama_screen_count(Display* display)
{
    if (!display || !XineramaIsActive(display))
        return 1;
    int count = 0;
    CPtr<XineramaScreenInfo, XFree> info(XineramaQueryScreens(display, &count));
    return count;
}

std::string display_line(int number, const XF86VidModeModeLine& mode, int dot_clock, int depth)
{
    return format("Display %d: %d x %d, %d-bit, %d Hz", number, int(mode.hdisplay), int(mode.vdisplay), depth,
                  confRefreshRate(dot_clock, mode.htotal, mode.vtotal));
}

std::string mode_summary(int display_count, const XF86VidModeModeLine& first, int first_clock,
                         const XF86VidModeModeLine& second, int second_clock, int depth)
{
    std::string text = display_line(1, first, first_clock, depth);
    if (display_count != 1)
        text += "\n" + display_line(2, second, second_clock, depth);
    if (text.size() > 255)
        text.resize(255);
    return text;
}

std::string mode_params_text(const XF86VidModeModeLine& mode)
{
    return format("Monitor settings:\n\n"
                  "Horizontal resolution: %d\nHorizontal sync start: %d\nHorizontal sync end: %d\n"
                  "Horizontal total: %d\n\n"
                  "Vertical resolution: %d\nVertical sync start: %d\nVertical sync end: %d\n"
                  "Vertical total: %d\n",
                  int(mode.hdisplay), int(mode.hsyncstart), int(mode.hsyncend), int(mode.htotal),
                  int(mode.vdisplay), int(mode.vsyncstart), int(mode.vsyncend), int(mode.vtotal));
}

void switch_mode(Display* display, int screen, int direction)
{
    XErrorScope scope(display);
    XF86VidModeLockModeSwitch(display, screen, 0);
    XF86VidModeSwitchMode(display, screen, direction);
    // Recorded first, so that every way out, a signal included, unlocks this
    // screen too; a screen the record cannot hold is not locked again.
    if (mark_screen_locked(screen, true))
        XF86VidModeLockModeSwitch(display, screen, 1);
    // A refused switch leaves the mode as it was, which the refresh then
    // shows; the error is only kept from ending the program.
    (void)scope.failed();
}

}  // namespace cvx::running
