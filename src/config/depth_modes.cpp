// Default depth, the Modes list per depth, and the user mode lines of a
// display. Depth 32 is depth 24 stored at 32 bits per pixel.
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
