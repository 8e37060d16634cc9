// Definitions of the program-wide state below the toolkit.
#include "core/globals.h"

Display* pDisp = nullptr;
XF86VidModeModeLine mode_line = {};
uint32_t device_info[3] = {0, 0, 0};
int CurrentScreen = 0;

unsigned char bInMergedMode = 0;
unsigned char bDriverModed = 0;
unsigned char bHalLoaded = 0;
unsigned char bDidChange = 0;

char sConfigFile[CVX_PATH_BUFFER] = "";
char sConfigBackup[CVX_PATH_BUFFER] = "";
