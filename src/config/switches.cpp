// The display-mode switches and their tests: PairView Multi-Display, Clone,
// merged, Xinerama, the hardware cursor and the Module Load entries.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/internal.h"

using namespace cvx::config;

namespace {

void remove_nohal(XF86ConfDevicePtr device)
{
    if (device)
        confRemoveOption(device->options, "NoHal");
}

// The second Screen line of a dual mode: linked to screen 1, no screen number.
XF86ConfAdjacencyRec new_second_line(XF86ConfScreenPtr screen1)
{
    XF86ConfAdjacencyRec line;
    line.screen_name = edi2str[1];
    line.screen = screen1;
    line.scrnum = -1;
    clear_relation(line);
    return line;
}

void make_dual_sections(XF86ConfigPtr tree, XF86ConfScreenPtr& screen0, XF86ConfScreenPtr& screen1)
{
    XF86ConfDevicePtr device0 = MakeDevice(tree, 0);
    screen0 = MakeScreen(tree, 0, device0, MakeMonitor(tree, 0));
    XF86ConfDevicePtr device1 = MakeDevice(tree, 1);
    screen1 = MakeScreen(tree, 1, device1, MakeMonitor(tree, 1));
    remove_nohal(device0);
    remove_nohal(device1);
}

}  // namespace

// ---------------------------------------------------------------- tests

unsigned char confPairViewIsActive(XF86ConfigPtr tree)
{
    if (!tree) {
        config_problem();
        return 0;
    }
    if (!confValidateLayout(tree))
        return 0;
    const XF86ConfAdjacencyRec* l1 = layout_line(tree, 0);
    const XF86ConfAdjacencyRec* l2 = layout_line(tree, 1);
    return (l1 && l1->refscreen) || (l2 && l2->refscreen);
}

unsigned char confCloneIsActive(XF86ConfigPtr tree)
{
    if (!tree) {
        config_problem();
        return 0;
    }
    if (!confValidateLayout(tree))
        return 0;
    const XF86ConfAdjacencyRec* l1 = layout_line(tree, 0);
    const XF86ConfAdjacencyRec* l2 = layout_line(tree, 1);
    return l1 && !l1->refscreen && l2 && !l2->refscreen;
}

unsigned char confMergedFBIsActive(XF86ConfigPtr tree)
{
    XF86ConfScreenPtr merged = FindScreen(tree, 2);
    if (!tree || !merged || merged->options.empty())
        return 0;
    const XF86ConfAdjacencyRec* l1 = layout_line(tree, 0);
    if (!l1 || l1->screen_name != edi2str[2])
        return 0;
    return xf86findOption(merged->options, "MergedFB") != nullptr;
}

// ---------------------------------------------------------------- PairView Multi-Display

XF86ConfigPtr confEnablePairView(XF86ConfigPtr tree, int whereValue)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    XF86ConfScreenPtr screen0 = nullptr, screen1 = nullptr;
    make_dual_sections(tree, screen0, screen1);
    XF86ConfLayoutPtr layout = ensure_first_layout(tree);
    XF86ConfAdjacencyRec& l1 = layout->adjacencies[0];
    l1.refscreen = edi2str[1];
    l1.screen_name = screen0->identifier;
    l1.where = whereValue;
    if (layout->adjacencies.size() > 1) {
        XF86ConfAdjacencyRec& l2 = layout->adjacencies[1];
        l2.screen = screen1;
        l2.scrnum = -1;
        l2.screen_name = edi2str[1];
    } else {
        layout->adjacencies.push_back(new_second_line(screen1));
    }
    // Real files often carry the relation on the second line.
    drop_other_relations(layout);
    return tree;
}

XF86ConfigPtr confDisablePairView(XF86ConfigPtr tree)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    if (!confPairViewIsActive(tree))
        return tree;
    XF86ConfLayoutPtr layout = first_layout(tree);
    XF86ConfAdjacencyRec& l1 = layout->adjacencies[0];
    l1.refscreen.reset();
    l1.where = CONF_ADJ_ABSOLUTE;
    drop_lines_after_first(layout);
    return tree;
}

// ---------------------------------------------------------------- PairView Clone

XF86ConfigPtr confEnableClone(XF86ConfigPtr tree)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    XF86ConfScreenPtr screen0 = nullptr, screen1 = nullptr;
    make_dual_sections(tree, screen0, screen1);
    XF86ConfLayoutPtr layout = ensure_first_layout(tree);
    {
        XF86ConfAdjacencyRec& l1 = layout->adjacencies[0];
        l1.screen_name = edi2str[0];
        l1.screen = screen0;
        l1.scrnum = -1;
    }
    if (layout->adjacencies.size() > 1) {
        XF86ConfAdjacencyRec& l2 = layout->adjacencies[1];
        l2.screen_name = edi2str[1];
        l2.where = CONF_ADJ_ABSOLUTE;
        l2.refscreen.reset();
        l2.screen = screen1;
        l2.scrnum = -1;
    } else {
        layout->adjacencies.push_back(new_second_line(screen1));
    }
    // The reference name stays: the main window switches PairView off
    // before Clone on, which has cleared it already.
    layout->adjacencies[0].where = CONF_ADJ_ABSOLUTE;
    return tree;
}

XF86ConfigPtr confDisableClone(XF86ConfigPtr tree)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    XF86ConfLayoutPtr layout = first_layout(tree);
    if (!layout || layout->adjacencies.empty())
        return tree;
    XF86ConfAdjacencyRec& l1 = layout->adjacencies[0];
    l1.refscreen.reset();
    l1.where = CONF_ADJ_ABSOLUTE;
    drop_lines_after_first(layout);
    return tree;
}

// ---------------------------------------------------------------- merged

XF86ConfigPtr confEnableMergedFB(XF86ConfigPtr tree, int whereValue)
{
    if (!tree || xf86screens(tree).empty())
        return nullptr;
    // MakeScreen takes "MergedFB" out and it is added back below: where the
    // merged section already had it, it goes back to its place, so that a
    // file saved in merged mode opens and saves again unchanged.
    XF86ConfScreenPtr before = FindScreen(tree, 2);
    std::optional<std::size_t> kept;
    if (before)
        for (std::size_t i = 0; i < before->options.size() && !kept; ++i)
            if (before->options[i].name == "MergedFB")
                kept = i;
    std::optional<XF86OptionRec> keptOption;
    if (kept)
        keptOption = before->options[*kept];

    XF86ConfDevicePtr device0 = MakeDevice(tree, 0);
    MakeScreen(tree, 0, device0, MakeMonitor(tree, 0));
    XF86ConfDevicePtr device1 = MakeDevice(tree, 1);
    MakeScreen(tree, 1, device1, MakeMonitor(tree, 1));
    XF86ConfScreenPtr merged = MakeScreen(tree, 2, device0, MakeMonitor(tree, 2));
    remove_nohal(device0);
    remove_nohal(device1);

    XF86ConfLayoutPtr layout = ensure_first_layout(tree);
    XF86ConfAdjacencyRec& l1 = layout->adjacencies[0];
    l1.screen = merged;
    l1.screen_name = edi2str[2];
    l1.refscreen.reset();
    l1.where = CONF_ADJ_ABSOLUTE;
    drop_lines_after_first(layout);

    XF86ConfigPtr result = confSetLayout(tree, whereValue);
    if (keptOption && merged == before && !xf86findOption(merged->options, "MergedFB")) {
        keptOption->value.reset();
        merged->options.insert(merged->options.begin() + static_cast<std::ptrdiff_t>(
                                   std::min(*kept, merged->options.size())), std::move(*keptOption));
    } else {
        xf86addNewOption(merged->options, "MergedFB", std::nullopt);
    }
    return result;
}

XF86ConfigPtr confDisableMergedFB(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    if (!confMergedFBIsActive(tree) || xf86screens(tree).empty())
        return tree;
    XF86ConfDevicePtr device0 = MakeDevice(tree, 0);
    XF86ConfScreenPtr screen0 = MakeScreen(tree, 0, device0, MakeMonitor(tree, 0));
    if (!screen0)
        return tree;
    remove_found_option(screen0->options, "MergedFB");
    XF86ConfLayoutPtr layout = ensure_first_layout(tree);
    XF86ConfAdjacencyRec& l1 = layout->adjacencies[0];
    l1.screen = screen0;
    l1.screen_name = edi2str[0];
    l1.refscreen.reset();
    l1.where = CONF_ADJ_ABSOLUTE;
    drop_lines_after_first(layout);
    return tree;
}

// ---------------------------------------------------------------- Xinerama and modules

namespace {

// The server reads the option as a boolean: "off", "0", "false" or "no"
// leave Xinerama off, so the check box must not claim otherwise.
bool says_off(const XF86OptionRec* option)
{
    if (!option || !option->value)
        return false;
    std::string v;
    for (char c : *option->value)
        v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return v == "off" || v == "0" || v == "false" || v == "no";
}

// The edited ServerLayout's own "Xinerama" option, which the server lets
// override ServerFlags; null when it has none.
XF86OptionRec* layout_xinerama(XF86ConfigPtr tree)
{
    XF86ConfLayoutPtr layout = first_layout(tree);
    return layout ? xf86findOption(layout->options, "Xinerama") : nullptr;
}

void drop_layout_xinerama(XF86ConfigPtr tree)
{
    if (XF86ConfLayoutPtr layout = first_layout(tree))
        remove_found_option(layout->options, "Xinerama");
}

}  // namespace

unsigned char confXineramaIsActive(XF86ConfigPtr tree)
{
    if (!tree)
        return 0;
    if (const XF86OptionRec* own = layout_xinerama(tree))
        return !says_off(own);
    XF86ConfFlagsPtr flags = xf86serverFlags(tree);
    if (!flags || flags->options.empty())
        return 0;
    const XF86OptionRec* option = xf86findOption(flags->options, "Xinerama");
    return option != nullptr && !says_off(option);
}

XF86ConfigPtr confEnableXinerama(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    if (confXineramaIsActive(tree))
        return tree;
    XF86ConfFlagsPtr flags = xf86serverFlags(tree);
    if (!flags)
        flags = xf86addSection(tree, std::make_unique<XF86ConfFlagsRec>());
    // Replaces an "off" value; a layout's own "off" would still win, so it goes.
    xf86addNewOption(flags->options, "Xinerama", std::nullopt);
    drop_layout_xinerama(tree);
    confUnloadModule(tree, "dri");
    return tree;
}

XF86ConfigPtr confDisableXinerama(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    if (!confXineramaIsActive(tree))
        return tree;
    if (XF86ConfFlagsPtr flags = xf86serverFlags(tree))
        remove_found_option(flags->options, "Xinerama");
    drop_layout_xinerama(tree);
    confLoadModule(tree, "dri");
    return tree;
}

XF86ConfigPtr confLoadModule(XF86ConfigPtr tree, const char* name)
{
    if (!tree || !name)
        return nullptr;
    if (confIsModuleActive(tree, name))
        return tree;
    XF86ConfModulePtr module = xf86module(tree);
    if (!module)
        module = xf86addSection(tree, std::make_unique<XF86ConfModuleRec>());
    XF86LoadRec load;
    load.type = XF86_LOAD_MODULE;
    load.name = name;
    module->loads.push_back(std::move(load));
    return tree;
}

XF86ConfigPtr confUnloadModule(XF86ConfigPtr tree, const char* name)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    XF86ConfModulePtr module = xf86module(tree);
    if (!module || !name)
        return tree;
    for (auto it = module->loads.begin(); it != module->loads.end(); ++it)
        if (it->type == XF86_LOAD_MODULE && it->name == name) {
            module->loads.erase(it);
            break;
        }
    return tree;
}

unsigned char confIsModuleActive(XF86ConfigPtr tree, const char* name)
{
    XF86ConfModulePtr module = xf86module(tree);
    if (!module || !name)
        return 0;
    for (const XF86LoadRec& load : module->loads)
        if (load.type == XF86_LOAD_MODULE && load.name == name)
            return 1;
    return 0;
}

// ---------------------------------------------------------------- hardware cursor

unsigned char confHWCursorIsActive(XF86ConfigPtr tree)
{
    if (!tree)
        return 0;
    for (XF86ConfDevicePtr device : xf86devices(tree)) {
        if (!is_cvx_device(*device))
            continue;
        for (const XF86OptionRec& option : device->options) {
            if (option.name != "hw cursor")
                continue;
            if (option_value_is(option, "off"))
                return 0;
            if (option_value_is(option, "on"))
                return 1;
        }
    }
    return 1;
}

XF86ConfigPtr confEnableHWCursor(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    for (XF86ConfDevicePtr device : xf86devices(tree)) {
        if (!is_cvx_device(*device))
            continue;
        if (XF86OptionRec* option = xf86findOption(device->options, "hw cursor"))
            if (!option_value_is(*option, "on"))
                option->value = "on";
    }
    return tree;
}

XF86ConfigPtr confDisableHWCursor(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    for (XF86ConfDevicePtr device : xf86devices(tree)) {
        if (!is_cvx_device(*device))
            continue;
        if (XF86OptionRec* option = xf86findOption(device->options, "hw cursor")) {
            if (!option_value_is(*option, "off"))
                option->value = "off";
        } else {
            XF86OptionRec fresh;
            fresh.name = "hw cursor";
            fresh.value = "off";
            device->options.push_back(std::move(fresh));
        }
    }
    return nullptr;
}
