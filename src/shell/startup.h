// Start-up, the single-instance lock, the mode-switch lock and shutdown.
#pragma once

#include <X11/Xlib.h>

int cvx_main(int argc, char** argv);
void restoreModeSwitch(Display* display);
void exitOnSignal(int signo);
