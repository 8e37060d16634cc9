#include "support/hotkeys.h"

#include <stdexcept>

#include <X11/extensions/xf86vmode.h>

namespace cvx::test {

ModeSwitcher::ModeSwitcher(const char* display_name) : m_display(XOpenDisplay(display_name))
{
    if (!m_display)
        throw std::runtime_error("the mode-switching client cannot open its display");
}

ModeSwitcher::~ModeSwitcher()
{
    XCloseDisplay(m_display);
}

std::string ModeSwitcher::mode(int screen)
{
    int clock = 0;
    XF86VidModeModeLine line = {};
    XF86VidModeGetModeLine(m_display, screen, &clock, &line);
    if (line.privsize)
        XFree(line.c_private);
    return std::to_string(line.hdisplay) + "x" + std::to_string(line.vdisplay) + " " + std::to_string(line.htotal) +
           " " + std::to_string(line.vtotal) + " " + std::to_string(clock);
}

bool ModeSwitcher::switch_by(int screen, int zoom)
{
    const std::string before = mode(screen);
    XF86VidModeSwitchMode(m_display, screen, zoom);
    XSync(m_display, False);
    return mode(screen) != before;
}

bool ModeSwitcher::switch_works(int screen)
{
    // Either way round: at one end of the server's mode list only the other
    // direction moves.
    return switch_by(screen, -1) || switch_by(screen, 1);
}

void ModeSwitcher::unlock(int screen)
{
    XF86VidModeLockModeSwitch(m_display, screen, 0);
    XSync(m_display, False);
}

bool ModeSwitcher::has_window(const std::string& title)
{
    return find(DefaultRootWindow(m_display), title) != None;
}

Window ModeSwitcher::find(Window w, const std::string& title)
{
    char* name = nullptr;
    if (XFetchName(m_display, w, &name) && name) {
        bool match = title == name;
        XFree(name);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(m_display, w, &a) && a.map_state == IsViewable)
            return w;
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    Window found = None;
    if (XQueryTree(m_display, w, &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n && found == None; ++i)
            found = find(children[i], title);
        if (children)
            XFree(children);
    }
    return found;
}

}  // namespace cvx::test
