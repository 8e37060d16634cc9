// X errors as answers instead of the end of the program (Xlib's default).
//
// A scope owns the requests issued on its display while it lives, counted by
// their serial numbers from its construction on: an error one of them raises
// is recorded for the scope and asked with failed(). Scopes nest (the
// innermost one holding the serial takes the error). An error outside every
// scope is ignored on the program's own connection (pDisp) and goes on to the
// handler installed before ours (the toolkit's, or Xlib's) on any other.
#pragma once

#include <X11/Xlib.h>

namespace cvx {

class XErrorScope {
public:
    explicit XErrorScope(Display* display);
    // Waits for the replies of the scope's requests still in flight, so that
    // no error of the scope arrives after it.
    ~XErrorScope();
    XErrorScope(const XErrorScope&) = delete;
    XErrorScope& operator=(const XErrorScope&) = delete;

    // Syncs the display; true when a request of the scope raised an X error.
    bool failed();

private:
    friend int handle_x_error(Display* display, XErrorEvent* event);

    Display* m_display;
    unsigned long m_first;
    bool m_failed = false;
    XErrorScope* m_outer;
};

// Puts the handler in charge (again, should another have replaced it) and
// keeps the one it replaces for the errors that are not ours. Start-up calls
// it after the toolkit has installed its own; every scope calls it too.
void install_x_error_handler();

}  // namespace cvx
