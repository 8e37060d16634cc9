// Output type of a display: TV (standard, cable type) and digital screen,
// stored as options of the Device section the display's Screen refers to.
#include <cstdio>

#include "config/config.h"
#include "config/internal.h"

using namespace cvx::config;

namespace {

// The Device section of a display, with the failure line when the display
// has no Screen section. A Screen section that names no Device yields null
// silently: there is no option list to read or change.
XF86ConfDevicePtr display_device(XF86ConfigPtr tree, int displayIndex)
{
    XF86ConfScreenPtr screen = getScreenFromIndex(tree, displayIndex);
    if (!screen) {
        screen_lookup_failed();
        return nullptr;
    }
    return device_of(tree, screen);
}

bool option_is_yes(XF86ConfigPtr tree, int displayIndex, const char* name)
{
    if (!tree)
        return false;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    if (!device)
        return false;
    const XF86OptionRec* option = xf86findOption(device->options, name);
    return option && option_value_is(*option, "yes");
}

// Present: the value becomes a copy of `value`, the name stays as written;
// missing: appended at the end of the list.
void put_option(XF86OptionList& list, const char* name, const char* value)
{
    if (XF86OptionRec* option = xf86findOption(list, name)) {
        option->value = value;
        return;
    }
    XF86OptionRec fresh;
    fresh.name = name;
    fresh.value = value;
    list.push_back(std::move(fresh));
}

void put_yes(XF86OptionList& list, const char* name)
{
    XF86OptionRec* option = xf86findOption(list, name);
    if (option && option_value_is(*option, "yes"))
        return;
    put_option(list, name, "yes");
}

}  // namespace

XF86ConfigPtr confEnableTVout(XF86ConfigPtr tree, int displayIndex, const char* standard, const char* cable)
{
    if (!tree)
        return nullptr;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    if (!device)
        return nullptr;
    put_yes(device->options, "TV");
    // A missing text leaves that option as it is rather than storing nothing.
    if (cable)
        put_option(device->options, "CableType", cable);
    if (standard)
        put_option(device->options, "TVStandard", standard);
    return tree;
}

XF86ConfigPtr confDisableTVout(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree)
        return nullptr;
    if (!confTVIsActive(tree, displayIndex))
        return tree;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    if (XF86OptionRec* option = device ? xf86findOption(device->options, "TV") : nullptr)
        if (!option_value_is(*option, "no"))
            option->value = "no";
    return tree;
}

unsigned char confTVIsActive(XF86ConfigPtr tree, int displayIndex)
{
    return option_is_yes(tree, displayIndex, "TV");
}

const char* confGetTVStandard(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree)
        return nullptr;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    return device ? xf86findOptionValue(device->options, "TVStandard") : nullptr;
}

const char* confGetCableType(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree)
        return nullptr;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    return device ? xf86findOptionValue(device->options, "CableType") : nullptr;
}

XF86ConfigPtr confEnableDigitalScreen(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree)
        return nullptr;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    if (!device)
        return nullptr;
    put_yes(device->options, "DigitalScreen");
    return tree;
}

XF86ConfigPtr confDisableDigitalScreen(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree)
        return nullptr;
    if (!confDigitalScreenIsActive(tree, displayIndex))
        return tree;
    XF86ConfDevicePtr device = display_device(tree, displayIndex);
    if (XF86OptionRec* option = device ? xf86findOption(device->options, "DigitalScreen") : nullptr)
        option->value = "no";
    return tree;
}

unsigned char confDigitalScreenIsActive(XF86ConfigPtr tree, int displayIndex)
{
    return option_is_yes(tree, displayIndex, "DigitalScreen");
}
