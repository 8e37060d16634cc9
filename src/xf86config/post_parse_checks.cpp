// The checks the server runs once the whole file is read: references between
// sections, and the links the tree keeps for them.
#include "xf86config/parse.h"

#include <unordered_map>

namespace cvx::xf86config::detail::parse {

namespace {

// name_key, into a buffer used again: most names repeat, most lookups find.
const std::string& key_of(std::string& buf, std::string_view name)
{
    buf.resize(name.size());
    std::size_t len = 0;
    for (char c : name) {
        if (c == '_' || c == ' ' || c == '\t')
            continue;
        buf[len++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    buf.resize(len);
    return buf;
}

}  // namespace

// Called for each section as it is read, while its record is still in the
// cache: a later pass over every section would cost a cache miss each.
void Parser::index_section(XF86SectionRec& sec)
{
    Checks& c = m_checks;
    auto first = [&c](Checks::Index& idx, std::string_view name, XF86SectionRec* rec) {
        if (idx.find(key_of(c.key, name)) == idx.end())
            idx.emplace(c.key, rec);
    };
    switch (sec.kind) {
    case XF86SectionKind::Device:
        first(c.devices, static_cast<XF86ConfDeviceRec&>(sec).identifier, &sec);
        break;
    case XF86SectionKind::Monitor:
        first(c.monitors, static_cast<XF86ConfMonitorRec&>(sec).identifier, &sec);
        break;
    case XF86SectionKind::Screen: {
        auto* sc = static_cast<XF86ConfScreenRec*>(&sec);
        first(c.screens, sc->identifier, sc);
        c.screens_exact.try_emplace(sc->identifier, sc);
        c.screen_list.push_back(sc);
        break;
    }
    case XF86SectionKind::ServerLayout:
        c.layout_list.push_back(static_cast<XF86ConfLayoutRec*>(&sec));
        break;
    case XF86SectionKind::Modes:
    case XF86SectionKind::VideoAdaptor:
    case XF86SectionKind::InputDevice: {
        auto* g = static_cast<XF86GenericSectionRec*>(&sec);
        Checks::Index& idx = sec.kind == XF86SectionKind::Modes ? c.modes
                             : sec.kind == XF86SectionKind::VideoAdaptor ? c.adaptors : c.inputs;
        if (g->identifier)
            first(idx, *g->identifier, g);
        break;
    }
    default:
        break;
    }
}

void Parser::validate()
{
    // First section of each name, by the server's name comparison (index_section).
    const Checks& c = m_checks;
    std::string key;
    auto find = [&key](const Checks::Index& idx, const std::string& name) -> XF86SectionRec* {
        auto it = idx.find(key_of(key, name));
        return it == idx.end() ? nullptr : it->second;
    };
    std::unordered_map<std::string, std::string> adaptor_users;   // adaptor key -> first screen
    for (XF86ConfScreenRec* sc : c.screen_list) {
        sc->monitor = sc->monitor_name ? static_cast<XF86ConfMonitorPtr>(find(c.monitors, *sc->monitor_name)) : nullptr;
        if (sc->monitor)
            for (std::size_t k = 0; k < sc->monitor->usemodes.size(); ++k)
                if (const std::string& m = sc->monitor->usemodes[k]; !find(c.modes, m))
                    fail_data(line_of(&sc->monitor->usemodes, k), *sc->monitor,
                              "Undefined Modes Section \"" + m + "\" referenced by Monitor \"" + sc->identifier + "\".");
        sc->device = sc->device_name ? static_cast<XF86ConfDevicePtr>(find(c.devices, *sc->device_name)) : nullptr;
        for (std::size_t k = 0; k < sc->adaptors.size(); ++k) {
            const std::string& a = sc->adaptors[k];
            if (!find(c.adaptors, a))
                fail_data(line_of(&sc->adaptors, k), *sc,
                          "Undefined VideoAdaptor \"" + a + "\" referenced by Screen \"" + sc->identifier + "\".");
            auto it = adaptor_users.find(name_key(a));
            if (it != adaptor_users.end())
                fail_data(line_of(&sc->adaptors, k), *sc, "VideoAdaptor \"" + a + "\" already referenced by Screen \"" + it->second + "\".");
        }
        for (const std::string& a : sc->adaptors)
            adaptor_users.try_emplace(name_key(a), sc->identifier);
    }
    for (const auto& [in, line] : m_inputs_without_driver) {
        auto* g = static_cast<const XF86GenericSectionRec*>(in);
        fail_data(line, *g, "InputDevice section \"" + g->identifier.value_or("") + "\" must have a Driver line.");
    }
    auto screen_exact = [&](const XF86OptionalText& name) -> XF86ConfScreenPtr {
        if (!name)
            return nullptr;
        auto it = c.screens_exact.find(*name);
        return it == c.screens_exact.end() ? nullptr : it->second;
    };
    for (XF86ConfLayoutRec* l : c.layout_list) {
        for (std::size_t k = 0; k < l->adjacencies.size(); ++k) {
            XF86ConfAdjacencyRec& a = l->adjacencies[k];
            a.screen = static_cast<XF86ConfScreenPtr>(find(c.screens, a.screen_name));
            if (!a.screen)
                fail_data(line_of(&l->adjacencies, k), *l,
                          "Undefined Screen \"" + a.screen_name + "\" referenced by ServerLayout \"" + l->identifier + "\".");
            a.top_screen = screen_exact(a.top);
            a.bottom_screen = screen_exact(a.bottom);
            a.left_screen = screen_exact(a.left);
            a.right_screen = screen_exact(a.right);
        }
        for (std::size_t k = 0; k < l->inactives.size(); ++k) {
            XF86ConfInactiveRec& i = l->inactives[k];
            i.device = static_cast<XF86ConfDevicePtr>(find(c.devices, i.device_name));
            if (!i.device)
                fail_data(line_of(&l->inactives, k), *l,
                          "Undefined Device \"" + i.device_name + "\" referenced by ServerLayout \"" + l->identifier + "\".");
        }
        for (std::size_t k = 0; k < l->inputs.size(); ++k) {
            const XF86ConfInputrefRec& r = l->inputs[k];
            bool found = find(c.inputs, r.name) != nullptr ||
                         (m_saw_pointer && xf86nameCompare(r.name, "Implicit Core Pointer") == 0);
            if (!found)
                fail_data(line_of(&l->inputs, k), *l,
                          "Undefined InputDevice \"" + r.name + "\" referenced by ServerLayout \"" + l->identifier + "\".");
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
