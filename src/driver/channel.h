// The command channel to the board's X driver: a command file, a VidMode
// ModModeLine request marked with bit 31 of the flags, and a reply file.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

constexpr unsigned int CVX_DRIVER_COMMAND_MARKER = 0x80000000u;

unsigned char SendCVXCmd(const char* command, char* reply, XF86VidModeModeLine* modeLine, Display* display);

unsigned char moveScreenLeft(XF86VidModeModeLine* modeLine, Display* display);
unsigned char moveScreenRight(XF86VidModeModeLine* modeLine, Display* display);
unsigned char moveScreenUp(XF86VidModeModeLine* modeLine, Display* display);
unsigned char moveScreenDown(XF86VidModeModeLine* modeLine, Display* display);
unsigned char resizeScreenWider(XF86VidModeModeLine* modeLine, Display* display);
unsigned char resizeScreenNarrower(XF86VidModeModeLine* modeLine, Display* display);
unsigned char resizeScreenShorter(XF86VidModeModeLine* modeLine, Display* display);
unsigned char resizeScreenTaller(XF86VidModeModeLine* modeLine, Display* display);
unsigned char applyNewRefresh(XF86VidModeModeLine* modeLine, Display* display, int refresh);
unsigned char UndoLastChange(XF86VidModeModeLine* modeLine, Display* display);

unsigned char isDriverModed(XF86VidModeModeLine* modeLine, Display* display);
unsigned char isHalLoaded(XF86VidModeModeLine* modeLine, Display* display);
unsigned char isMergedAvailable(XF86VidModeModeLine* modeLine, Display* display);

// True when the HAL module file can be opened for reading.
unsigned char isHalModulePresent();
