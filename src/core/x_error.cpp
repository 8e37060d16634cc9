// The X error handler and the scope that asks it.
#include "core/x_error.h"

#include "core/globals.h"

namespace {

XErrorHandler s_previous_error_handler = nullptr;
volatile unsigned long s_x_errors = 0;
bool s_handler_installed = false;

int count_x_error(Display* display, XErrorEvent* event)
{
    if (display == pDisp)
        s_x_errors = s_x_errors + 1;
    else if (s_previous_error_handler)
        return s_previous_error_handler(display, event);
    return 0;
}

}  // namespace

void cvx_install_x_error_handler()
{
    // Installed after the toolkit's own handler, which stays in charge of the
    // toolkit's connection (its error traps push and pop around ours).
    if (s_handler_installed)
        return;
    s_previous_error_handler = XSetErrorHandler(count_x_error);
    s_handler_installed = true;
}

namespace cvx {

XErrorScope::XErrorScope(Display* display) : m_display(display)
{
    cvx_install_x_error_handler();
    if (m_display)
        XSync(m_display, False);
    m_before = s_x_errors;
}

bool XErrorScope::failed()
{
    if (m_display)
        XSync(m_display, False);
    return s_x_errors != m_before;
}

}  // namespace cvx
