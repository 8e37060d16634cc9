// The X error handler and the scopes that ask it.
#include "core/x_error.h"

#include "core/globals.h"

namespace cvx {

namespace {

XErrorHandler s_previous = nullptr;
XErrorScope* s_innermost = nullptr;

// Serials wrap: compare the distance, not the values.
bool at_or_after(unsigned long serial, unsigned long first)
{
    return static_cast<long>(serial - first) >= 0;
}

bool in_flight(Display* display)
{
    return at_or_after(NextRequest(display) - 1, LastKnownRequestProcessed(display) + 1);
}

}  // namespace

int handle_x_error(Display* display, XErrorEvent* event)
{
    for (XErrorScope* scope = s_innermost; scope; scope = scope->m_outer) {
        if (scope->m_display == display && at_or_after(event->serial, scope->m_first)) {
            scope->m_failed = true;
            return 0;
        }
    }
    if (display == pDisp || !s_previous)
        return 0;
    return s_previous(display, event);
}

void install_x_error_handler()
{
    const XErrorHandler replaced = XSetErrorHandler(handle_x_error);
    if (replaced != handle_x_error)
        s_previous = replaced;
}

XErrorScope::XErrorScope(Display* display)
    : m_display(display), m_first(display ? NextRequest(display) : 0), m_outer(s_innermost)
{
    install_x_error_handler();
    s_innermost = this;
}

XErrorScope::~XErrorScope()
{
    if (m_display && in_flight(m_display))
        XSync(m_display, False);
    s_innermost = m_outer;
}

bool XErrorScope::failed()
{
    if (m_display)
        XSync(m_display, False);
    return m_failed;
}

}  // namespace cvx
