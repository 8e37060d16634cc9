// The live adjustments and the three questions, each one exchange over the
// command channel. The bounds keep eight units of room so that the driver's
// step cannot push a sync pulse past the total.
#include "driver/channel.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "core/fd.h"
#include "core/paths.h"

namespace {

constexpr int BELL_PERCENT = 80;

unsigned char send_or_bell(const char* command, XF86VidModeModeLine* modeLine, Display* display)
{
    char reply[CVX_DRIVER_REPLY_BUFFER];
    const unsigned char ok = SendCVXCmd(command, reply, modeLine, display);
    if (!ok)
        XBell(display, BELL_PERCENT);
    return ok;
}

unsigned char refuse(Display* display)
{
    XBell(display, BELL_PERCENT);
    return 0;
}

unsigned char ask(const char* question, XF86VidModeModeLine* modeLine, Display* display)
{
    char reply[CVX_DRIVER_REPLY_BUFFER];
    if (!SendCVXCmd(question, reply, modeLine, display)) {
        XBell(display, BELL_PERCENT);
        return 0;
    }
    return reply[0] == 'Y' && reply[1] == 'E' && reply[2] == 'S' && reply[3] == '\0';
}

// The fields are unsigned 16-bit; the bounds compare them as signed values.
int s(unsigned short v) { return static_cast<int>(v); }

}  // namespace

unsigned char moveScreenLeft(XF86VidModeModeLine* m, Display* display)
{
    if (!(s(m->hsyncend) + 8 < s(m->htotal)))
        return refuse(display);
    return send_or_bell("left 1", m, display);
}

unsigned char moveScreenRight(XF86VidModeModeLine* m, Display* display)
{
    if (!(s(m->hsyncstart) - 8 > s(m->hdisplay)))
        return refuse(display);
    return send_or_bell("right 1", m, display);
}

unsigned char moveScreenUp(XF86VidModeModeLine* m, Display* display)
{
    if (!(s(m->vsyncend) + 8 < s(m->vtotal)))
        return refuse(display);
    return send_or_bell("up 1", m, display);
}

unsigned char moveScreenDown(XF86VidModeModeLine* m, Display* display)
{
    // Plus 8, unlike Right: the driver refuses a move it cannot make.
    if (!(s(m->vsyncstart) + 8 > s(m->vdisplay)))
        return refuse(display);
    return send_or_bell("down 1", m, display);
}

unsigned char resizeScreenWider(XF86VidModeModeLine* m, Display* display)
{
    if (!(s(m->htotal) - 8 > s(m->hsyncend)))
        return refuse(display);
    return send_or_bell("h+ 1", m, display);
}

unsigned char resizeScreenNarrower(XF86VidModeModeLine* m, Display* display)
{
    return send_or_bell("h- 1", m, display);
}

unsigned char resizeScreenShorter(XF86VidModeModeLine* m, Display* display)
{
    return send_or_bell("v- 1", m, display);
}

unsigned char resizeScreenTaller(XF86VidModeModeLine* m, Display* display)
{
    if (!(s(m->vtotal) - 8 > s(m->vsyncend)))
        return refuse(display);
    return send_or_bell("v+ 1", m, display);
}

unsigned char applyNewRefresh(XF86VidModeModeLine* m, Display* display, int refresh)
{
    const std::string command = "refresh " + std::to_string(refresh);
    return send_or_bell(command.c_str(), m, display);
}

unsigned char UndoLastChange(XF86VidModeModeLine* m, Display* display)
{
    return send_or_bell("undo", m, display);
}

unsigned char isDriverModed(XF86VidModeModeLine* m, Display* display) { return ask("test", m, display); }
unsigned char isHalLoaded(XF86VidModeModeLine* m, Display* display) { return ask("hal", m, display); }
unsigned char isMergedAvailable(XF86VidModeModeLine* m, Display* display) { return ask("merged", m, display); }

unsigned char isHalModulePresent()
{
    return cvx::open_fd(cvx::paths::hal_module().c_str(), O_RDONLY | O_NONBLOCK) ? 1 : 0;
}
