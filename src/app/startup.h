// Start-up, the single-instance lock, the mode-switch lock and shutdown.
#pragma once

#include <X11/Xlib.h>

int cvx_main(int argc, char** argv);
void restoreModeSwitch(Display* display);
void exitOnSignal(int signo);

// The oldest XFree86-VidModeExtension the program works with is 0.6; any
// major of 1 or more is accepted whatever the minor.
bool cvx_vidmode_version_ok(int major, int minor);

// Opens (creating with mode 0600) and locks the single-instance lock file at
// `path`. Refuses a symbolic link, anything but a regular file and a file
// owned by another user. Returns the descriptor (>= 3, close-on-exec, kept
// open for the life of the process), -1 when the file cannot be used, -2 when
// another process holds the lock.
int cvx_take_instance_lock(const char* path);
