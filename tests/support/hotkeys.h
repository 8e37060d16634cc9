// A second X client that asks the server for mode switches: whether the
// program's lock on the mode-switch hot-keys of a screen is in place.
#pragma once

#include <string>

#include <X11/Xlib.h>

namespace cvx::test {

class ModeSwitcher {
public:
    // On $DISPLAY unless a display name is given.
    explicit ModeSwitcher(const char* display_name = nullptr);
    ~ModeSwitcher();
    ModeSwitcher(const ModeSwitcher&) = delete;
    ModeSwitcher& operator=(const ModeSwitcher&) = delete;

    // The running mode of `screen` (modes of one size differ in timing).
    std::string mode(int screen = 0);
    // Asks for a switch of `screen` by `zoom` (-1 or +1); true when the mode
    // changed. The server's list has ends: beyond one nothing moves.
    bool switch_by(int screen, int zoom);
    // True when a switch to the previous or next mode changed the mode of
    // `screen` (its hot-keys work); the mode is then left as it is.
    bool switch_works(int screen = 0);
    // Gives the hot-keys of `screen` back, as any client may, so that one
    // failed case does not leave the next one a locked server.
    void unlock(int screen);

    bool has_window(const std::string& title);
    Display* display() { return m_display; }

private:
    Window find(Window w, const std::string& title);
    Display* m_display;
};

}  // namespace cvx::test
