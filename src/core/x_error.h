// X errors on pDisp are recorded instead of ending the program (Xlib's
// default). A scope that issues requests the server may refuse asks whether
// one of them failed; errors on other connections (the toolkit's) go to the
// handler that was installed before ours.
#pragma once

#include <X11/Xlib.h>

// Installs the handler once; call it after the toolkit has installed its own.
void cvx_install_x_error_handler();

namespace cvx {

// Syncs the display on construction and on failed(): true when a request of
// the scope raised an X error.
class XErrorScope {
public:
    explicit XErrorScope(Display* display);
    bool failed();
private:
    Display* m_display;
    unsigned long m_before;
};

}  // namespace cvx
