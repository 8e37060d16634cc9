// The save custom mode dialog: its constructor is declared in
// windows/windows.h and its handlers in windows/win_adjust.h, beside the
// monitor settings window it ends.
#pragma once

#include "windows/win_adjust.h"
