// The running X server as the windows show it: each screen's mode line, the
// Xinerama screen count, the mode summary of the main window and the mode
// switch of the monitor settings window. The refresh rate is the model's
// (confRefreshRate).
#pragma once

#include <string>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

namespace cvx::running {

// Reads the mode line and dot clock (kHz) of X screen `screen`; the mode's
// private data is released (nothing here uses it). False (outputs untouched)
// when there is no display or the server refuses; a refusal never ends the
// program.
bool read_mode_line(Display* display, int screen, XF86VidModeModeLine& mode, int& dot_clock);

// The number of Xinerama screens; 1 without Xinerama.
int xinerama_screen_count(Display* display);

// "Display N: W x H, D-bit, R Hz".
std::string display_line(int number, const XF86VidModeModeLine& mode, int dot_clock, int depth);

// The main window's mode summary for the given displays (1 = one line;
// anything else = two lines), limited to 255 characters.
std::string mode_summary(int display_count, const XF86VidModeModeLine& first, int first_clock,
                         const XF86VidModeModeLine& second, int second_clock, int depth);

// The eleven lines of the monitor settings window's "txtParams".
std::string mode_params_text(const XF86VidModeModeLine& mode);

// Switches X screen `screen` by `direction` (-1 previous, +1 next) with mode
// switching allowed only around the one switch. The screen is recorded as
// locked (core/locked_screens.h).
void switch_mode(Display* display, int screen, int direction);

}  // namespace cvx::running
