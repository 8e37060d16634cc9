// The edits behind the main window's check boxes and the display modes
// dialog's OK button. The windows and the command line both call these, so
// the same choice gives the same file wherever it is made.
#include "config/config.h"
#include "config/internal.h"

XF86ConfigPtr confMatchModulesToXinerama(XF86ConfigPtr tree)
{
    if (tree && confXineramaIsActive(tree))
        confUnloadModule(tree, "dri");
    return tree;
}

XF86ConfigPtr confSetXinerama(XF86ConfigPtr tree, bool on)
{
    if (!tree)
        return nullptr;
    const bool configured = confXineramaIsActive(tree);
    if (on && !configured)
        confEnableXinerama(tree);
    else if (!on && configured)
        confDisableXinerama(tree);
    return tree;
}

XF86ConfigPtr confSetHWCursor(XF86ConfigPtr tree, bool on)
{
    if (!tree)
        return nullptr;
    const bool configured = confHWCursorIsActive(tree);
    if (on && !configured)
        confEnableHWCursor(tree);
    else if (!on && configured)
        confDisableHWCursor(tree);
    return tree;
}

XF86ConfigPtr confApplyDepth(XF86ConfigPtr tree, int displayIndex, int depth)
{
    if (!tree)
        return nullptr;
    // Two outputs of one framebuffer layout share the depth.
    if (confPairViewIsActive(tree) || confCloneIsActive(tree)) {
        confSetDefaultDepth(tree, 0, depth);
        return confSetDefaultDepth(tree, 1, depth);
    }
    return confSetDefaultDepth(tree, displayIndex, depth);
}

XF86ConfigPtr confApplyResolutions(XF86ConfigPtr tree, int displayIndex, int count, const char* const names[])
{
    XF86ConfigPtr result = tree;
    for (int depth : {8, 16, 24, 32})
        if (!confSetResolutions(tree, displayIndex, count, names, depth))
            result = nullptr;
    return result;
}

ConfOutputType confGetOutputType(XF86ConfigPtr tree, int displayIndex)
{
    if (confTVIsActive(tree, displayIndex)) {
        const char* standard = confGetTVStandard(tree, displayIndex);
        return standard && std::string_view(standard) == "PAL" ? CONF_OUTPUT_TV_PAL : CONF_OUTPUT_TV_NTSC;
    }
    return confDigitalScreenIsActive(tree, displayIndex) ? CONF_OUTPUT_DIGITAL : CONF_OUTPUT_ANALOG;
}

XF86ConfigPtr confApplyOutputType(XF86ConfigPtr tree, int displayIndex, ConfOutputType type, const char* cable)
{
    switch (type) {
    case CONF_OUTPUT_ANALOG:
        confDisableTVout(tree, displayIndex);
        return confDisableDigitalScreen(tree, displayIndex);
    case CONF_OUTPUT_DIGITAL:
        confDisableTVout(tree, displayIndex);
        return confEnableDigitalScreen(tree, displayIndex);
    case CONF_OUTPUT_TV_NTSC:
        confDisableDigitalScreen(tree, displayIndex);
        return confEnableTVout(tree, displayIndex, "NTSC", cable);
    case CONF_OUTPUT_TV_PAL:
        confDisableDigitalScreen(tree, displayIndex);
        return confEnableTVout(tree, displayIndex, "PAL", cable);
    }
    return nullptr;
}
