// The program-wide state shared by the windows, the driver channel and the
// board probe. The configuration tree and its companions (pXF86Config,
// where, wasSingleHeadAtStartup) are declared in config/config.h.
#pragma once

#include <cstdint>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

typedef struct _GtkWidget GtkWidget;

extern Display* pDisp;                    // the one X connection
extern XF86VidModeModeLine mode_line;     // the mode line the live adjustment works on
extern uint32_t device_info[3];           // dot clock (kHz), PCI device ID, revision (low byte)
extern int CurrentScreen;                 // display (0 or 1) of the open dialog / X screen of VidMode requests

extern unsigned char bInMergedMode;       // the server runs a merged framebuffer
extern unsigned char bDriverModed;        // the driver answered "YES" to "test"
extern unsigned char bHalLoaded;          // the driver answered "YES" to "hal"
extern unsigned char bDidChange;          // a live adjustment is pending
extern unsigned char mustExit;            // the open message box ends the program
extern int modeChange;                    // after the save dialog: 0 close, -1 previous, +1 next mode
extern int nbElementSelected;             // selections in the display modes list

// Paths typed in the configuration-file window: at most 254 characters.
constexpr int CVX_PATH_BUFFER = 255;
extern char sConfigFile[CVX_PATH_BUFFER];
extern char sConfigBackup[CVX_PATH_BUFFER];

extern GtkWidget* wdgWinCentral;
extern GtkWidget* wdgWinOpen;
extern GtkWidget* wdgWinResolutions;
extern GtkWidget* wdgWinAdjust;
extern GtkWidget* wdgWinSave;
extern GtkWidget* wdgWinMsgbox;
extern GtkWidget* wdgWinPreview;
extern GtkWidget* wdgWinInfo;
extern GtkWidget* wdgWinIdentify[2];
