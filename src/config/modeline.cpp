// Storing the running mode line in the configuration: the one operation of
// the model that takes the X server's VidMode record.
#include "config/modeline.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "config/internal.h"
#include "config/refresh.h"

using namespace cvx::config;

namespace {

std::string modeline_name(int hdisplay, int vdisplay, int rate, int displayIndex, int counter)
{
    char buf[255];
    if (counter == 0)
        std::snprintf(buf, sizeof buf, "%dx%d@%dHz:%d", hdisplay, vdisplay, rate, displayIndex);
    else
        std::snprintf(buf, sizeof buf, "%dx%d@%dHz:%d(%d)", hdisplay, vdisplay, rate, displayIndex, counter);
    return buf;
}

}  // namespace

int confRefreshRate(int dotClockKHz, int htotal, int vtotal)
{
    // Products in 64 bits: a dot clock above 2.1 GHz must not overflow.
    const long long frame = static_cast<long long>(htotal) * vtotal;
    if (frame <= 0)
        return 0;
    const double hz = static_cast<double>(static_cast<long long>(dotClockKHz) * 1000) / static_cast<double>(frame);
    const double rounded = std::trunc((hz * 100 + 50) / 100);
    return rounded > -1e9 && rounded < 1e9 ? static_cast<int>(rounded) : 0;
}

XF86ConfigPtr confAddModeline(XF86ConfigPtr tree, int displayIndex, const XF86VidModeModeLine* modeLine,
                              int dotClock)
{
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return nullptr;
    }
    XF86ConfMonitorPtr monitor = monitor_of(tree, screen);
    if (!monitor || !modeLine)
        return nullptr;

    const int rate = confRefreshRate(dotClock, modeLine->htotal, modeLine->vtotal);
    std::string name = modeline_name(modeLine->hdisplay, modeLine->vdisplay, rate, displayIndex, 0);
    for (int counter = 1; xf86findModeLine(name, monitor->modelines); ++counter)
        name = modeline_name(modeLine->hdisplay, modeLine->vdisplay, rate, displayIndex, counter);

    XF86ConfModeLineRec record;
    record.identifier = name;
    record.clock = dotClock;
    record.hdisplay = modeLine->hdisplay;
    record.hsyncstart = modeLine->hsyncstart;
    record.hsyncend = modeLine->hsyncend;
    record.htotal = modeLine->htotal;
    record.vdisplay = modeLine->vdisplay;
    record.vsyncstart = modeLine->vsyncstart;
    record.vsyncend = modeLine->vsyncend;
    record.vtotal = modeLine->vtotal;
    record.vscan = 0;
    record.flags = static_cast<int>(modeLine->flags);
    record.hskew = modeLine->hskew;
    monitor->modelines.push_back(std::move(record));
    return tree;
}
