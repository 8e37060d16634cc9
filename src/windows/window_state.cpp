// Definitions of the windows' shared state.
#include "windows/window_state.h"

unsigned char mustExit = 0;
int modeChange = 0;
int nbElementSelected = 0;

GtkWidget* wdgWinCentral = nullptr;
GtkWidget* wdgWinOpen = nullptr;
GtkWidget* wdgWinResolutions = nullptr;
GtkWidget* wdgWinAdjust = nullptr;
GtkWidget* wdgWinSave = nullptr;
GtkWidget* wdgWinMsgbox = nullptr;
GtkWidget* wdgWinPreview = nullptr;
GtkWidget* wdgWinInfo = nullptr;
GtkWidget* wdgWinIdentify[2] = {nullptr, nullptr};
