// Shared pieces of the driver channel tests: a watcher that counts the bells
// rung on the server, and small mode-line and file helpers.
#pragma once

#include <string>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include "support/files.h"

namespace cvx::test::driver {

// Sees every bell rung on the server (XKB bell notifications on a second
// connection), with the volume the server derived from the request.
class BellWatcher {
public:
    BellWatcher();
    ~BellWatcher();
    BellWatcher(const BellWatcher&) = delete;
    BellWatcher& operator=(const BellWatcher&) = delete;
    // Bells since the last call; `other` is synced first so its requests
    // have reached the server.
    int take(Display* other);
    // The volume a bell at `percent` from `other` gets on this server.
    int volume_of(Display* other, int percent);
    int last_volume() const { return m_last_volume; }

private:
    Display* m_display = nullptr;
    int m_event_base = 0;
    int m_last_volume = -1;
};

struct Mode {
    int clock = 0;
    XF86VidModeModeLine line{};
};

Mode current_mode(Display* display, int screen);
// The refresh in whole Hz, rounded as the program shows it.
int refresh_of(const Mode& mode);
// Sets the running timings of `screen` (a plain modification, no marker).
bool set_mode(Display* display, int screen, const XF86VidModeModeLine& line);

using cvx::test::read_file;
using cvx::test::write_file;
bool exists_no_follow(const std::string& path);
bool is_symlink(const std::string& path);

}  // namespace cvx::test::driver
