// The one operation of the model that takes the X server's VidMode record,
// apart from config/config.h so that the model's header stays free of Xlib.
#pragma once

#include "config/config.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

// Adds the mode line as a ModeLine of the display's Monitor section, named
// "WxH@RHz:D" (with "(n)" appended while the name is taken). Null (nothing
// changed) when the Screen section names no Monitor. A mode with htotal x
// vtotal of 0 is named with the rate 0.
XF86ConfigPtr confAddModeline(XF86ConfigPtr tree, int displayIndex, const XF86VidModeModeLine* modeLine,
                              int dotClock);
