// Definitions of the program-wide state.
#include "shell/globals.h"

Display* pDisp = nullptr;
XF86VidModeModeLine mode_line = {};
uint32_t device_info[3] = {0, 0, 0};
int CurrentScreen = 0;

unsigned char bInMergedMode = 0;
unsigned char bDriverModed = 0;
unsigned char bHalLoaded = 0;
unsigned char bDidChange = 0;
unsigned char mustExit = 0;
int modeChange = 0;
int nbElementSelected = 0;

char sConfigFile[CVX_PATH_BUFFER] = "";
char sConfigBackup[CVX_PATH_BUFFER] = "";

GtkWidget* wdgWinCentral = nullptr;
GtkWidget* wdgWinOpen = nullptr;
GtkWidget* wdgWinResolutions = nullptr;
GtkWidget* wdgWinAdjust = nullptr;
GtkWidget* wdgWinSave = nullptr;
GtkWidget* wdgWinMsgbox = nullptr;
GtkWidget* wdgWinPreview = nullptr;
GtkWidget* wdgWinInfo = nullptr;
GtkWidget* wdgWinIdentify[2] = {nullptr, nullptr};
