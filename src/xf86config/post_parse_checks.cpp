// The checks the server runs once the whole file is read: references between
// sections, and the links the tree keeps for them.
#include "xf86config/parse.h"

#include <unordered_map>

namespace cvx::xf86config::detail::parse {

namespace {

// name_key, into a buffer used again: most names repeat, most lookups find.
const std::string& key_of(std::string& buf, std::string_view name)
{
    buf.clear();
    for (char c : name) {
        if (c == '_' || c == ' ' || c == '\t')
            continue;
        buf.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return buf;
}

}  // namespace

void Parser::validate(XF86ConfigRec& tree)
{
    // First section of each name, by the server's name comparison.
    using Index = std::unordered_map<std::string, XF86SectionRec*>;
    Index devices, monitors, screens, modes, adaptors, inputs;
    std::unordered_map<std::string, XF86ConfScreenPtr> screens_exact;
    std::string key;
    auto first = [&key](Index& idx, std::string_view name, XF86SectionRec* sec) {
        if (idx.find(key_of(key, name)) == idx.end())
            idx.emplace(key, sec);
    };
    for (const auto& sec : tree.sections) {
        switch (sec->kind) {
        case XF86SectionKind::Device:
            first(devices, static_cast<XF86ConfDeviceRec&>(*sec).identifier, sec.get());
            break;
        case XF86SectionKind::Monitor:
            first(monitors, static_cast<XF86ConfMonitorRec&>(*sec).identifier, sec.get());
            break;
        case XF86SectionKind::Screen: {
            auto* sc = static_cast<XF86ConfScreenRec*>(sec.get());
            first(screens, sc->identifier, sc);
            screens_exact.try_emplace(sc->identifier, sc);
            break;
        }
        case XF86SectionKind::Modes:
        case XF86SectionKind::VideoAdaptor:
        case XF86SectionKind::InputDevice: {
            auto* g = static_cast<XF86GenericSectionRec*>(sec.get());
            Index& idx = sec->kind == XF86SectionKind::Modes ? modes
                         : sec->kind == XF86SectionKind::VideoAdaptor ? adaptors : inputs;
            if (g->identifier)
                first(idx, *g->identifier, g);
            break;
        }
        default:
            break;
        }
    }
    auto find = [&key](const Index& idx, const std::string& name) -> XF86SectionRec* {
        auto it = idx.find(key_of(key, name));
        return it == idx.end() ? nullptr : it->second;
    };
    std::unordered_map<std::string, std::string> adaptor_users;   // adaptor key -> first screen
    for (const auto& sec : tree.sections) {
        if (sec->kind != XF86SectionKind::Screen)
            continue;
        auto* sc = static_cast<XF86ConfScreenRec*>(sec.get());
        sc->monitor = sc->monitor_name ? static_cast<XF86ConfMonitorPtr>(find(monitors, *sc->monitor_name)) : nullptr;
        if (sc->monitor)
            for (std::size_t k = 0; k < sc->monitor->usemodes.size(); ++k)
                if (const std::string& m = sc->monitor->usemodes[k]; !find(modes, m))
                    fail_data(line_of(&sc->monitor->usemodes, k), *sc->monitor,
                              "Undefined Modes Section \"" + m + "\" referenced by Monitor \"" + sc->identifier + "\".");
        sc->device = sc->device_name ? static_cast<XF86ConfDevicePtr>(find(devices, *sc->device_name)) : nullptr;
        for (std::size_t k = 0; k < sc->adaptors.size(); ++k) {
            const std::string& a = sc->adaptors[k];
            if (!find(adaptors, a))
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
        auto it = screens_exact.find(*name);
        return it == screens_exact.end() ? nullptr : it->second;
    };
    for (const auto& sec : tree.sections) {
        if (sec->kind != XF86SectionKind::ServerLayout)
            continue;
        auto* l = static_cast<XF86ConfLayoutRec*>(sec.get());
        for (std::size_t k = 0; k < l->adjacencies.size(); ++k) {
            XF86ConfAdjacencyRec& a = l->adjacencies[k];
            a.screen = static_cast<XF86ConfScreenPtr>(find(screens, a.screen_name));
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
            i.device = static_cast<XF86ConfDevicePtr>(find(devices, i.device_name));
            if (!i.device)
                fail_data(line_of(&l->inactives, k), *l,
                          "Undefined Device \"" + i.device_name + "\" referenced by ServerLayout \"" + l->identifier + "\".");
        }
        for (std::size_t k = 0; k < l->inputs.size(); ++k) {
            const XF86ConfInputrefRec& r = l->inputs[k];
            bool found = find(inputs, r.name) != nullptr ||
                         (m_saw_pointer && xf86nameCompare(r.name, "Implicit Core Pointer") == 0);
            if (!found)
                fail_data(line_of(&l->inputs, k), *l,
                          "Undefined InputDevice \"" + r.name + "\" referenced by ServerLayout \"" + l->identifier + "\".");
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
