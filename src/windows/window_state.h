// The windows' shared state: the open windows and the flags that pass between
// them. The state below the toolkit is in core/globals.h.
#pragma once

typedef struct _GtkWidget GtkWidget;

extern unsigned char mustExit;            // the open message box ends the program
extern int modeChange;                    // after the save dialog: 0 close, -1 previous, +1 next mode
extern int nbElementSelected;             // selections in the display modes list

extern GtkWidget* wdgWinCentral;
extern GtkWidget* wdgWinOpen;
extern GtkWidget* wdgWinResolutions;
extern GtkWidget* wdgWinAdjust;
extern GtkWidget* wdgWinSave;
extern GtkWidget* wdgWinMsgbox;
extern GtkWidget* wdgWinPreview;
extern GtkWidget* wdgWinInfo;
extern GtkWidget* wdgWinIdentify[2];
