// The board's sections: names, finders, the find-adopt-or-create builders, the
// server layout and the small option helpers every other operation uses.
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "config/config.h"
#include "config/internal.h"

XF86ConfigPtr pXF86Config = nullptr;
int where = 0;
unsigned char wasSingleHeadAtStartup = 0;

const char* const edi2str[3] = {"Display 1", "Display 2", "Display Merged"};
const char* const edevi2str[3] = {"CORVEX CARD 1", "CORVEX CARD 2", "CORVEX CARD 1"};

ConfMessageHook confMessageHook = nullptr;

namespace cvx::config {

void config_problem()
{
    std::fputs("Corvex Twinscape: Configuration problem encountered.\n", stdout);
}

void screen_lookup_failed()
{
    std::fputs("getScreenFromIndex failed\n", stdout);
}

XF86ConfLayoutPtr first_layout(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    // The server starts with the layout ServerFlags names, when it exists;
    // editing another one would change nothing the user sees.
    if (XF86ConfLayoutPtr named = default_layout(tree))
        return named;
    for (auto& s : tree->sections)
        if (s->kind == XF86SectionKind::ServerLayout)
            return static_cast<XF86ConfLayoutPtr>(s.get());
    return nullptr;
}

XF86ConfLayoutPtr default_layout(XF86ConfigPtr tree)
{
    XF86ConfFlagsPtr flags = xf86serverFlags(tree);
    if (!flags)
        return nullptr;
    const char* name = xf86findOptionValue(flags->options, "DefaultServerLayout");
    if (!name || !*name)
        return nullptr;
    for (auto& s : tree->sections)
        if (s->kind == XF86SectionKind::ServerLayout &&
            xf86nameCompare(static_cast<XF86ConfLayoutPtr>(s.get())->identifier, name) == 0)
            return static_cast<XF86ConfLayoutPtr>(s.get());
    return nullptr;
}

XF86ConfAdjacencyRec* layout_line(XF86ConfigPtr tree, size_t n)
{
    XF86ConfLayoutPtr layout = first_layout(tree);
    if (!layout || layout->adjacencies.size() <= n)
        return nullptr;
    return &layout->adjacencies[n];
}

XF86ConfLayoutPtr ensure_first_layout(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    XF86ConfLayoutPtr layout = first_layout(tree);
    if (!layout) {
        auto fresh = std::make_unique<XF86ConfLayoutRec>();
        fresh->identifier = "Corvex Twinscape configured.";
        layout = xf86addSection(tree, std::move(fresh));
    }
    if (layout->adjacencies.empty()) {
        XF86ConfAdjacencyRec line;
        auto screens = xf86screens(tree);
        if (!screens.empty()) {
            line.screen_name = screens.front()->identifier;
            line.screen = screens.front();
        } else {
            line.screen_name = edi2str[0];
        }
        layout->adjacencies.push_back(std::move(line));
    }
    return layout;
}

void drop_lines_after_first(XF86ConfLayoutPtr layout)
{
    if (layout && layout->adjacencies.size() > 1)
        layout->adjacencies.erase(layout->adjacencies.begin() + 1, layout->adjacencies.end());
}

void clear_relation(XF86ConfAdjacencyRec& line)
{
    line.where = CONF_ADJ_ABSOLUTE;
    line.refscreen.reset();
    line.top.reset();
    line.bottom.reset();
    line.left.reset();
    line.right.reset();
    line.top_screen = line.bottom_screen = line.left_screen = line.right_screen = nullptr;
    line.x = 0;
    line.y = 0;
    line.has_position = true;
}

void drop_other_relations(XF86ConfLayoutPtr layout)
{
    if (!layout)
        return;
    auto names = [](const XF86OptionalText& name, const char* display) {
        return name && xf86nameCompare(*name, display) == 0;
    };
    for (size_t n = 1; n < layout->adjacencies.size(); ++n) {
        XF86ConfAdjacencyRec& line = layout->adjacencies[n];
        const char* other = nullptr;
        if (xf86nameCompare(line.screen_name, edi2str[0]) == 0)
            other = edi2str[1];
        else if (xf86nameCompare(line.screen_name, edi2str[1]) == 0)
            other = edi2str[0];
        if (other && (names(line.refscreen, other) || names(line.top, other) || names(line.bottom, other) ||
                      names(line.left, other) || names(line.right, other)))
            clear_relation(line);
    }
}

XF86ConfDevicePtr device_of(XF86ConfigPtr tree, XF86ConfScreenPtr screen)
{
    if (!screen)
        return nullptr;
    if (screen->device)
        return screen->device;
    if (!screen->device_name)
        return nullptr;
    return xf86findDevice(*screen->device_name, tree);
}

XF86ConfMonitorPtr monitor_of(XF86ConfigPtr tree, XF86ConfScreenPtr screen)
{
    if (!screen)
        return nullptr;
    if (screen->monitor)
        return screen->monitor;
    if (!screen->monitor_name)
        return nullptr;
    return xf86findMonitor(*screen->monitor_name, tree);
}

bool is_cvx_device(const XF86ConfDeviceRec& device)
{
    return device.driver && *device.driver == "cvx";
}

bool option_value_is(const XF86OptionRec& option, std::string_view value)
{
    return option.value && *option.value == value;
}

bool remove_found_option(XF86OptionList& list, std::string_view name)
{
    XF86OptionRec* found = xf86findOption(list, name);
    if (!found)
        return false;
    list.erase(list.begin() + (found - list.data()));
    return true;
}

std::string format_one_decimal(float value)
{
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 1);
    if (res.ec != std::errc())
        return "0.0";
    return std::string(buf, res.ptr);
}

}  // namespace cvx::config

using namespace cvx::config;

namespace {

// The key xf86nameCompare compares by: letter case, blanks, tabs and
// underscores do not count. Used only to speed lookups up; every hit is
// confirmed with the library's own comparison.
std::string name_key(std::string_view name)
{
    std::string key;
    key.reserve(name.size());
    for (char c : name)
        if (c != ' ' && c != '\t' && c != '_')
            key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return key;
}

bool is_own_identifier(const std::string& ident, const char* const* own, int count)
{
    for (int k = 0; k < count; ++k)
        if (ident == own[k])
            return true;
    return false;
}

// Walks the sections of one kind: the exact match, else the first foreign
// section (to adopt), else null.
template <class Ptr>
Ptr find_or_candidate(const std::vector<Ptr>& list, const char* wanted, const char* const* own, int ownCount,
                      bool& exact)
{
    Ptr candidate = nullptr;
    exact = false;
    for (Ptr s : list) {
        if (s->identifier == wanted) {
            exact = true;
            return s;
        }
        if (!candidate && !is_own_identifier(s->identifier, own, ownCount))
            candidate = s;
    }
    return candidate;
}

// An adopted section's old name may be referenced elsewhere; the references
// follow the rename so that the written file still resolves.
void rename_monitor_references(XF86ConfigPtr tree, XF86ConfMonitorPtr monitor, const std::string& newName)
{
    for (XF86ConfScreenPtr s : xf86screens(tree)) {
        bool linked = s->monitor == monitor;
        bool named = !s->monitor && s->monitor_name && xf86nameCompare(*s->monitor_name, monitor->identifier) == 0;
        if (linked || named) {
            s->monitor_name = newName;
            s->monitor = monitor;
        }
    }
}

void rename_inactive_references(XF86ConfigPtr tree, XF86ConfDevicePtr device, const std::string& newName)
{
    for (XF86ConfLayoutPtr layout : xf86layouts(tree))
        for (auto& inactive : layout->inactives)
            if (inactive.device == device ||
                (!inactive.device && xf86nameCompare(inactive.device_name, device->identifier) == 0)) {
                inactive.device_name = newName;
                inactive.device = device;
            }
}

}  // namespace

// ---------------------------------------------------------------- builders

XF86ConfDevicePtr MakeDevice(XF86ConfigPtr tree, int deviceIndex)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    if (deviceIndex < 0 || deviceIndex > 2)
        return nullptr;
    const char* wanted = edevi2str[deviceIndex];
    auto devices = xf86devices(tree);
    bool exact = false;
    XF86ConfDevicePtr device = find_or_candidate(devices, wanted, edevi2str, 2, exact);
    if (device && !exact) {
        rename_inactive_references(tree, device, wanted);
        confRenameDevice(tree, device, wanted);
    }
    if (!device) {
        auto fresh = std::make_unique<XF86ConfDeviceRec>();
        if (!devices.empty()) {
            const XF86ConfDeviceRec& last = *devices.back();
            fresh->vendor = last.vendor;
            fresh->board = last.board;
            fresh->chipset = last.chipset;
            fresh->busid = last.busid;
            fresh->card = last.card;
            fresh->driver = last.driver;
            fresh->ramdac = last.ramdac;
            fresh->clockchip = last.clockchip;
            for (int k = 0; k < 4; ++k)
                fresh->dacSpeeds[k] = last.dacSpeeds[k];
            fresh->videoram = last.videoram;
            fresh->textclockfreq = last.textclockfreq;
            fresh->bios_base = last.bios_base;
            fresh->mem_base = last.mem_base;
            fresh->io_base = last.io_base;
            fresh->clocks = last.clocks;
            fresh->chipid = last.chipid;
            fresh->chiprev = last.chiprev;
            fresh->irq = last.irq;
        }
        device = xf86addSection(tree, std::move(fresh));
    }
    device->screen = deviceIndex;
    device->identifier = wanted;
    device->driver = "cvx";
    if (!board_busid.empty())
        device->busid = board_busid;
    return device;
}

XF86ConfMonitorPtr MakeMonitor(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    if (displayIndex < 0 || displayIndex > 2)
        return nullptr;
    const char* wanted = edi2str[displayIndex];
    auto monitors = xf86monitors(tree);
    bool exact = false;
    XF86ConfMonitorPtr monitor = find_or_candidate(monitors, wanted, edi2str, 3, exact);
    if (monitor && !exact)
        rename_monitor_references(tree, monitor, wanted);
    if (!monitor) {
        auto fresh = std::make_unique<XF86ConfMonitorRec>();
        if (!monitors.empty()) {
            const XF86ConfMonitorRec& last = *monitors.back();
            fresh->vendor = last.vendor;
            fresh->model = last.model;
            fresh->width = last.width;
            fresh->height = last.height;
            fresh->hsync = last.hsync;
            fresh->vrefresh = last.vrefresh;
            fresh->gamma_red = last.gamma_red;
            fresh->gamma_green = last.gamma_green;
            fresh->gamma_blue = last.gamma_blue;
        }
        monitor = xf86addSection(tree, std::move(fresh));
    }
    monitor->identifier = wanted;
    return monitor;
}

XF86ConfScreenPtr MakeScreen(XF86ConfigPtr tree, int displayIndex, XF86ConfDevicePtr device,
                             XF86ConfMonitorPtr monitor)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    if (displayIndex < 0 || displayIndex > 2)
        return nullptr;
    const char* wanted = edi2str[displayIndex];
    auto screens = xf86screens(tree);
    bool exact = false;
    XF86ConfScreenPtr screen = find_or_candidate(screens, wanted, edi2str, 3, exact);
    if (screen && !exact)
        confRenameScreen(tree, screen, wanted);
    if (!screen) {
        auto fresh = std::make_unique<XF86ConfScreenRec>();
        if (!screens.empty()) {
            const XF86ConfScreenRec& last = *screens.back();
            fresh->obsolete_driver = last.obsolete_driver;
            fresh->defaultdepth = last.defaultdepth;
            fresh->defaultbpp = last.defaultbpp;
            fresh->defaultfbbpp = last.defaultfbbpp;
        } else {
            // Nothing to copy from: a depth the display modes dialog offers.
            fresh->defaultdepth = 24;
        }
        XF86ConfDisplayRec display;
        display.depth = fresh->defaultdepth;
        display.modes.push_back("640x480");
        fresh->displays.push_back(std::move(display));
        screen = xf86addSection(tree, std::move(fresh));
        if (displayIndex == 1 && confMessageHook)
            confMessageHook("Corvex Twinscape",
                            "Your secondary display has been enabled. Its resolution has been set to 640 x 480.\n\n"
                            "To change its resolution, click the button for the secondary display (display 2).",
                            0);
    }
    confRemoveOption(screen->options, "MergedFB");
    screen->identifier = wanted;
    // A missing builder result leaves the reference as it was rather than
    // pointing the section at nothing.
    if (device) {
        screen->device_name = device->identifier;
        screen->device = device;
    }
    if (monitor) {
        screen->monitor_name = monitor->identifier;
        screen->monitor = monitor;
    }
    return screen;
}

XF86ConfigPtr confMakeSections(XF86ConfigPtr tree)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    XF86ConfDevicePtr device = MakeDevice(tree, 0);
    XF86ConfScreenPtr screen = MakeScreen(tree, 0, device, MakeMonitor(tree, 0));
    XF86ConfLayoutPtr layout = ensure_first_layout(tree);
    XF86ConfAdjacencyRec& first = layout->adjacencies.front();
    first.screen_name = screen->identifier;
    first.screen = screen;
    return tree;
}

XF86ConfigPtr confCompleteTree(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    auto devices = xf86devices(tree);
    if (devices.empty()) {
        auto fresh = std::make_unique<XF86ConfDeviceRec>();
        fresh->identifier = edevi2str[0];
        fresh->driver = "cvx";
        devices.push_back(xf86addSection(tree, std::move(fresh)));
    }
    auto monitors = xf86monitors(tree);
    if (monitors.empty()) {
        auto fresh = std::make_unique<XF86ConfMonitorRec>();
        fresh->identifier = edi2str[0];
        monitors.push_back(xf86addSection(tree, std::move(fresh)));
    }
    if (xf86screens(tree).empty()) {
        auto fresh = std::make_unique<XF86ConfScreenRec>();
        fresh->identifier = edi2str[0];
        fresh->defaultdepth = 24;
        fresh->device_name = devices.front()->identifier;
        fresh->device = devices.front();
        fresh->monitor_name = monitors.front()->identifier;
        fresh->monitor = monitors.front();
        XF86ConfDisplayRec display;
        display.depth = 24;
        display.modes.push_back("640x480");
        fresh->displays.push_back(std::move(display));
        xf86addSection(tree, std::move(fresh));
    }
    ensure_first_layout(tree);
    return tree;
}

// ---------------------------------------------------------------- lookups

namespace {

template <class Ptr>
Ptr find_exact(const std::vector<Ptr>& list, int displayIndex)
{
    if (displayIndex < 0 || displayIndex > 2)
        return nullptr;
    for (Ptr s : list)
        if (s->identifier == edi2str[displayIndex])
            return s;
    return nullptr;
}

}  // namespace

XF86ConfScreenPtr FindScreen(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    return find_exact(xf86screens(tree), displayIndex);
}

XF86ConfMonitorPtr FindMonitor(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree) {
        config_problem();
        return nullptr;
    }
    return find_exact(xf86monitors(tree), displayIndex);
}

XF86ConfScreenPtr getScreenFromIndex(XF86ConfigPtr tree, int displayIndex)
{
    if (!tree || displayIndex < 0 || displayIndex > 1)
        return nullptr;
    return FindScreen(tree, displayIndex);
}

// ---------------------------------------------------------------- server layout

XF86ConfigPtr confSetLayout(XF86ConfigPtr tree, int whereValue)
{
    if (!tree)
        return nullptr;
    XF86ConfAdjacencyRec* first = layout_line(tree, 0);
    if (XF86ConfScreenPtr merged = FindScreen(tree, 2)) {
        const char* position = "RightOf";
        if (whereValue == CONF_ADJ_RIGHTOF)
            position = "LeftOf";
        else if (whereValue == CONF_ADJ_ABOVE)
            position = "Below";
        else if (whereValue == CONF_ADJ_BELOW)
            position = "Above";
        confSetOption(merged->options, "Monitor2Position", position);
        if (first)
            first->where = CONF_ADJ_ABSOLUTE;
    }
    if (first && first->screen_name != edi2str[2]) {
        first->where = whereValue;
        if (whereValue != CONF_ADJ_ABSOLUTE)
            drop_other_relations(first_layout(tree));
    }
    return tree;
}

XF86ConfigPtr confGetServerLayout(XF86ConfigPtr tree, int* first, int* whereOut, int* second)
{
    XF86ConfLayoutPtr layout = first_layout(tree);
    if (!layout || !whereOut)
        return tree;
    for (const XF86ConfAdjacencyRec& line : layout->adjacencies) {
        if (line.refscreen) {
            *whereOut = line.where;
            if (first)
                *first = confDisplayIndexFromName(line.screen_name.c_str());
            if (second)
                *second = confDisplayIndexFromName(line.refscreen->c_str());
            return tree;
        }
        if (line.screen_name == edi2str[2]) {
            // The section the first line names; by name when it is not linked.
            const XF86ConfAdjacencyRec& l1 = layout->adjacencies.front();
            XF86ConfScreenPtr screen = l1.screen ? l1.screen : xf86findScreen(l1.screen_name, tree);
            const char* value = screen ? xf86findOptionValue(screen->options, "Monitor2Position") : nullptr;
            if (first)
                *first = 0;
            if (second)
                *second = 1;
            if (!value) {
                *whereOut = CONF_ADJ_RIGHTOF;
            } else {
                switch (value[0]) {
                case 'A': case 'a': case 'H': case 'h': *whereOut = CONF_ADJ_BELOW; break;
                case 'B': case 'b': *whereOut = CONF_ADJ_ABOVE; break;
                case 'G': case 'g': case 'L': case 'l': *whereOut = CONF_ADJ_RIGHTOF; break;
                default: *whereOut = CONF_ADJ_LEFTOF; break;
                }
            }
            return tree;
        }
    }
    return tree;
}

unsigned char confValidateLayout(XF86ConfigPtr tree)
{
    if (!tree)
        return 0;
    // One index of names per call keeps validation linear in the file size.
    std::unordered_map<std::string, XF86ConfScreenPtr> screens;
    for (XF86ConfScreenPtr s : xf86screens(tree))
        screens.emplace(name_key(s->identifier), s);
    std::unordered_map<std::string, XF86ConfDevicePtr> devices;
    for (XF86ConfDevicePtr d : xf86devices(tree))
        devices.emplace(name_key(d->identifier), d);

    for (XF86ConfLayoutPtr layout : xf86layouts(tree)) {
        for (XF86ConfAdjacencyRec& line : layout->adjacencies) {
            XF86ConfScreenPtr found = nullptr;
            auto it = screens.find(name_key(line.screen_name));
            if (it != screens.end() && xf86nameCompare(it->second->identifier, line.screen_name) == 0)
                found = it->second;
            else
                found = xf86findScreen(line.screen_name, tree);
            if (!found) {
                std::fputs("Invalid Layout\n", stdout);
                return 0;
            }
            line.screen = found;
        }
        for (XF86ConfInactiveRec& inactive : layout->inactives) {
            XF86ConfDevicePtr found = nullptr;
            auto it = devices.find(name_key(inactive.device_name));
            if (it != devices.end() && xf86nameCompare(it->second->identifier, inactive.device_name) == 0)
                found = it->second;
            else
                found = xf86findDevice(inactive.device_name, tree);
            if (!found) {
                std::fputs("Bad Layout. Something wrong with device\n", stdout);
                return 0;
            }
            inactive.device = found;
        }
    }
    return 1;
}

unsigned char confRenameScreen(XF86ConfigPtr tree, XF86ConfScreenPtr screen, const char* newName)
{
    if (!tree || !screen || !newName)
        return 0;
    for (XF86ConfLayoutPtr layout : xf86layouts(tree)) {
        for (XF86ConfAdjacencyRec& line : layout->adjacencies) {
            if (line.screen == screen || (!line.screen && line.screen_name == screen->identifier))
                line.screen_name = newName;
            else if (line.top_screen == screen)
                line.top = newName;
            else if (line.bottom_screen == screen)
                line.bottom = newName;
            else if (line.left_screen == screen)
                line.left = newName;
            else if (line.right_screen == screen)
                line.right = newName;
            else if (line.refscreen && xf86nameCompare(*line.refscreen, screen->identifier) == 0)
                line.refscreen = newName;
        }
    }
    screen->identifier = newName;
    return 1;
}

unsigned char confRenameDevice(XF86ConfigPtr tree, XF86ConfDevicePtr device, const char* newName)
{
    if (!tree || !device || !newName)
        return 0;
    for (XF86ConfScreenPtr s : xf86screens(tree)) {
        bool linked = s->device == device;
        bool named = !s->device && s->device_name && xf86nameCompare(*s->device_name, device->identifier) == 0;
        if (linked || named) {
            s->device_name = newName;
            s->device = device;
        }
    }
    device->identifier = newName;
    return 1;
}

// ---------------------------------------------------------------- small operations

unsigned char confReplaceString(std::optional<std::string>& field, const char* text)
{
    if (!text)
        field.reset();
    else
        field = std::string(text);
    return 1;
}

unsigned char confReplaceString(std::string& field, const char* text)
{
    if (!text)
        field.clear();
    else
        field = text;
    return 1;
}

XF86OptionList& confRemoveOption(XF86OptionList& list, const char* name)
{
    if (!name)
        return list;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->name == name) {
            list.erase(it);
            break;
        }
    return list;
}

XF86OptionList& confSetOption(XF86OptionList& list, const char* name, const char* value)
{
    if (!name)
        return list;
    std::string_view wanted = value ? std::string_view(value) : std::string_view();
    if (XF86OptionRec* found = xf86findOption(list, name)) {
        std::string_view current = found->value ? std::string_view(*found->value) : std::string_view();
        if (current != wanted)
            found->value = value ? std::optional<std::string>(value) : std::nullopt;
        return list;
    }
    XF86OptionRec option;
    option.name = name;
    if (value)
        option.value = std::string(value);
    list.push_back(std::move(option));
    return list;
}

int confDisplayIndexFromName(const char* name)
{
    if (!name)
        return -1;
    std::string_view n(name);
    if (n == edi2str[0])
        return 0;
    if (n == edi2str[1])
        return 1;
    return -1;
}
