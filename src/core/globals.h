// The program-wide state below the toolkit, shared by the board probe, the
// driver channel and the windows: the X connection, the live mode line and
// what start-up learnt about the board and its driver. The configuration
// tree and its companions (pXF86Config, where, wasSingleHeadAtStartup) are
// declared in config/config.h; the windows' own state in
// windows/window_state.h.
#pragma once

#include <cstdint>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

extern Display* pDisp;                    // the one X connection
extern XF86VidModeModeLine mode_line;     // the mode line the live adjustment works on
extern uint32_t device_info[3];           // dot clock (kHz), PCI device ID, revision (low byte)
extern int CurrentScreen;                 // display (0 or 1) of the open dialog / X screen of VidMode requests

extern unsigned char bInMergedMode;       // the server runs a merged framebuffer
extern unsigned char bDriverModed;        // the driver answered "YES" to "test"
extern unsigned char bHalLoaded;          // the driver answered "YES" to "hal"
extern unsigned char bDidChange;          // a live adjustment is pending

// Paths typed in the configuration-file window: at most 254 characters.
constexpr int CVX_PATH_BUFFER = 255;
extern char sConfigFile[CVX_PATH_BUFFER];
extern char sConfigBackup[CVX_PATH_BUFFER];
