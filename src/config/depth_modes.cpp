// Default depth, the Modes list per depth, and the user mode lines of a
// display. Depth 32 is depth 24 stored at 32 bits per pixel.
#include <cmath>
#include <cstdio>
#include <string>

#include "config/config.h"
#include "config/internal.h"

using namespace cvx::config;

XF86ConfDisplayPtr cvx::config::display_for_depth(XF86ConfScreenPtr screen, int depth)
{
    for (XF86ConfDisplayRec& display : screen->displays)
        if (display.depth == depth || (depth == 32 && display.depth == 24))
            return &display;
    return nullptr;
}

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

// ---------------------------------------------------------------- default depth

XF86ConfigPtr confSetDefaultDepthFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen, int depth)
{
    if (!screen)
        return nullptr;
    if (depth == 32) {
        screen->defaultdepth = 24;
        screen->defaultfbbpp = 32;
    } else {
        screen->defaultdepth = depth;
        screen->defaultfbbpp = 0;
    }
    return tree;
}

XF86ConfigPtr confSetDefaultDepth(XF86ConfigPtr tree, int displayIndex, int depth)
{
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return nullptr;
    }
    return confSetDefaultDepthFromScreenPtr(tree, screen, depth);
}

int confGetDefaultDepthFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen)
{
    if (!screen)
        return 0;
    if (screen->defaultdepth == 24 && screen->defaultfbbpp == 32)
        return 32;
    return screen->defaultdepth;
}

int confGetDefaultDepth(XF86ConfigPtr tree, int displayIndex)
{
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return 0;
    }
    return confGetDefaultDepthFromScreenPtr(tree, screen);
}

// ---------------------------------------------------------------- Modes lists

XF86ConfigPtr confSetResolutionsFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen, int count,
                                              const char* const names[], int depth)
{
    if (!tree || !screen)
        return nullptr;
    XF86ConfDisplayPtr display = display_for_depth(screen, depth);
    if (display) {
        display->modes.clear();
    } else {
        screen->displays.emplace_back();
        display = &screen->displays.back();
    }
    switch (depth) {
    case 8: case 16: case 24: display->depth = depth; break;
    case 32: display->depth = 24; break;
    default: return nullptr;
    }
    if (names)
        for (int k = 0; k < count; ++k)
            if (names[k])
                display->modes.emplace_back(names[k]);
    return tree;
}

XF86ConfigPtr confSetResolutions(XF86ConfigPtr tree, int displayIndex, int count, const char* const names[],
                                 int depth)
{
    if (!tree)
        return nullptr;
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return nullptr;
    }
    return confSetResolutionsFromScreenPtr(tree, screen, count, names, depth);
}

int confGetResolutionsFromScreenPtr(XF86ConfigPtr tree, XF86ConfScreenPtr screen, int depth, const char* names[],
                                    int max)
{
    if (!tree || !screen || !names || max <= 0)
        return 0;
    XF86ConfDisplayPtr display = display_for_depth(screen, depth);
    if (!display)
        return 0;
    int stored = 0;
    for (const std::string& mode : display->modes) {
        if (stored >= max)
            break;
        names[stored++] = mode.c_str();
    }
    return stored;
}

int confGetResolutions(XF86ConfigPtr tree, int displayIndex, int depth, const char* names[], int max)
{
    if (!tree)
        return 0;
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return 0;
    }
    return confGetResolutionsFromScreenPtr(tree, screen, depth, names, max);
}

// ---------------------------------------------------------------- user mode lines

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

    // Products in 64 bits: a dot clock above 2.1 GHz must not overflow.
    long long frame = static_cast<long long>(modeLine->htotal) * modeLine->vtotal;
    int rate = 0;
    if (frame > 0) {
        double r = static_cast<double>(static_cast<long long>(dotClock) * 1000) / static_cast<double>(frame);
        double rounded = std::trunc((r * 100 + 50) / 100);
        if (rounded > -1e9 && rounded < 1e9)
            rate = static_cast<int>(rounded);
    }

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

const std::vector<XF86ConfModeLineRec>* confGetUserModeLines(XF86ConfigPtr tree, int displayIndex)
{
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return nullptr;
    }
    XF86ConfMonitorPtr monitor = monitor_of(tree, screen);
    if (!monitor || monitor->modelines.empty())
        return nullptr;
    return &monitor->modelines;
}
