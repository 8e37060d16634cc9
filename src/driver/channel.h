// The command channel to the board's X driver: a command file, a VidMode
// ModModeLine request marked with bit 31 of the flags, and a reply file.
//
// Every operation works on the caller's mode line (the program passes
// `mode_line`) and addresses X screen `CurrentScreen`. An exchange leaves the
// marker set in the caller's record; it is gone once the caller reads the
// mode line from the server again. Refusals and failed exchanges of the
// adjustments and questions ring the bell at 80 percent.
#pragma once

#include <string>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

constexpr unsigned int CVX_DRIVER_COMMAND_MARKER = 0x80000000u;
// A reply buffer has CVX_DRIVER_REPLY_BUFFER bytes; at most
// CVX_DRIVER_REPLY_READ - 1 characters of the reply's first line go into it.
constexpr int CVX_DRIVER_REPLY_BUFFER = 256;
constexpr int CVX_DRIVER_REPLY_READ = 255;

// `reply` must hold at least CVX_DRIVER_REPLY_READ bytes. True when the
// request was sent and a trusted reply file was read; an X error raised by
// the request is a failed exchange.
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

// True only when the driver's reply line is exactly "YES".
unsigned char isDriverModed(XF86VidModeModeLine* modeLine, Display* display);
unsigned char isHalLoaded(XF86VidModeModeLine* modeLine, Display* display);
unsigned char isMergedAvailable(XF86VidModeModeLine* modeLine, Display* display);

// True when the HAL module file can be opened for reading.
unsigned char isHalModulePresent();

namespace cvx::driver {

// The steps of one exchange, for SendCVXCmd and its tests.
// Creates (0600) or truncates the command file and writes `command` without
// a line end; refuses links, non-regular files and files of other users.
bool write_command_file(const std::string& path, const std::string& command);
// Removes whatever is at the reply name (a link itself, never its target).
void remove_reply_file(const std::string& path);
// Reads the first line (at most size - 1 characters) of a regular, non-link
// reply file owned by root, by us or by the X server's user, then deletes it.
bool read_reply_file(const std::string& path, char* reply, int size, Display* display);
// One exchange on `screen` with a reply buffer of `reply_size` bytes.
unsigned char exchange(const char* command, char* reply, int reply_size, XF86VidModeModeLine* modeLine,
                       Display* display, int screen);

}  // namespace cvx::driver
