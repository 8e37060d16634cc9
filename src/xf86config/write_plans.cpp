// What to write per section kind: each statement group compared with the
// section as read and planned as kept, rewritten, dropped or added.
#include "xf86config/write.h"
#include <algorithm>
#include <memory>
#include <type_traits>

namespace cvx::xf86config::detail::write {

namespace {

template <class F>
void scalar(Group& g, bool changed, F make)
{
    g.kind = Group::Scalar;
    g.changed = changed;
    if (changed)
        if (std::optional<std::string> line = make())
            g.lines.push_back(std::move(*line));
}

template <class F>
void whole(Group& g, bool changed, F make)
{
    g.kind = Group::Whole;
    g.changed = changed;
    if (changed)
        g.lines = make();
}

template <class Text>
void opt_str(Group& g, const Text& cur, const Text& old, const char* kw)
{
    scalar(g, cur != old, [&]() -> std::optional<std::string> {
        if (!cur)
            return std::nullopt;
        return stmt(kw, q(*cur));
    });
}

// The element of `list` read from statement `item`, if any (elements of a
// parsed list are in statement order).
template <class T>
const T* by_item(const std::vector<T>* list, int item)
{
    if (!list)
        return nullptr;
    auto it = std::lower_bound(list->begin(), list->end(), item, [](const T& e, int i) {
        return e.src.item() < i;
    });
    if (it != list->end() && it->src.item() == item)
        return &*it;
    return nullptr;
}

// Render(elem, original-or-null, out) fills text/keep_trailing for a changed or new element.
template <class T, class Render>
void elements(Group& g, const std::vector<T>& cur, std::uint32_t owner, const std::vector<T>* snap, Render render)
{
    g.kind = Group::Elements;
    std::vector<const T*> origs(cur.size(), nullptr);
    int prev = -1;
    bool ordered = true;
    for (std::size_t k = 0; k < cur.size(); ++k) {
        const auto& src = cur[k].src;
        origs[k] = (owner && src.owner() == owner) ? by_item(snap, src.item()) : nullptr;
        if (origs[k]) {
            ordered = ordered && src.item() > prev;
            prev = src.item();
        }
    }
    // Statements can keep their place only while they keep their order;
    // otherwise the whole list is written anew where it began.
    if (!ordered)
        std::fill(origs.begin(), origs.end(), nullptr);
    for (std::size_t k = 0; k < cur.size(); ++k) {
        Elem el;
        if (origs[k]) {
            el.item = cur[k].src.item();
            el.same = cur[k] == *origs[k];
        }
        if (!el.same)
            render(cur[k], origs[k], el);
        g.elems.push_back(std::move(el));
    }
}

// Statements with an end-of-line comment of their own: keep the original line
// end while the comment is unchanged.
template <class T>
void with_comment(const T& e, const T* orig, Elem& el, std::string text)
{
    if (orig && orig->comment == e.comment) {
        el.text = std::move(text);
        el.keep_trailing = true;
        return;
    }
    el.keep_trailing = false;
    if (e.comment) {
        text += " " + comment_text(*e.comment);
        el.has_comment = true;
    }
    el.text = std::move(text);
}

void option_group(Group& g, const XF86OptionList& cur, std::uint32_t owner, const XF86OptionList* snap)
{
    elements(g, cur, owner, snap, [](const XF86OptionRec& o, const XF86OptionRec* orig, Elem& el) {
        with_comment(o, orig, el, option_text(o));
    });
}

struct Ctx {
    const std::string* text = nullptr;   // null for new content
    const Body* body = nullptr;
    std::uint32_t owner = 0;   // the serial number its statements carry; 0: none
    std::string base, inner, nl;
};

std::string finish(const Ctx& c, Plans& plans, const XF86OptionalText& comment, bool comment_changed,
                   const std::string& head, const char* end)
{
    if (c.text && c.body)
        return rewrite_body(*c.text, *c.body, plans, c.inner, c.nl, comment_changed, comment);
    return fresh_body(head, comment, plans, c.base, c.inner, c.nl, end);
}

std::string write_display(const XF86ConfDisplayRec& d, const XF86ConfDisplayRec& s, const Ctx& c);

Plans plan_display(const XF86ConfDisplayRec& d, const XF86ConfDisplayRec& s, const Ctx& c)
{
    Plans P(DS_COUNT);
    scalar(P[DS_DEPTH], d.depth != s.depth, [&]() -> std::optional<std::string> {
        if (d.depth == 0) return std::nullopt;
        return stmt("Depth", num(d.depth));
    });
    scalar(P[DS_FBBPP], d.bpp != s.bpp, [&]() -> std::optional<std::string> {
        if (d.bpp == 0) return std::nullopt;
        return stmt("FbBPP", num(d.bpp));
    });
    opt_str(P[DS_VISUAL], d.visual, s.visual, "Visual");
    auto triple = [](const char* kw, int r, int g, int b) { return stmt(kw, num(r) + " " + num(g) + " " + num(b)); };
    scalar(P[DS_WEIGHT], d.weight_red != s.weight_red || d.weight_green != s.weight_green || d.weight_blue != s.weight_blue,
           [&]() -> std::optional<std::string> {
               if (d.weight_red == 0 && d.weight_green == 0 && d.weight_blue == 0) return std::nullopt;
               return triple("Weight", d.weight_red, d.weight_green, d.weight_blue);
           });
    scalar(P[DS_BLACK], d.black_red != s.black_red || d.black_green != s.black_green || d.black_blue != s.black_blue,
           [&]() -> std::optional<std::string> {
               if (d.black_red == -1 && d.black_green == -1 && d.black_blue == -1) return std::nullopt;
               return triple("Black", d.black_red, d.black_green, d.black_blue);
           });
    scalar(P[DS_WHITE], d.white_red != s.white_red || d.white_green != s.white_green || d.white_blue != s.white_blue,
           [&]() -> std::optional<std::string> {
               if (d.white_red == -1 && d.white_green == -1 && d.white_blue == -1) return std::nullopt;
               return triple("White", d.white_red, d.white_green, d.white_blue);
           });
    whole(P[DS_MODES], d.modes != s.modes, [&]() {
        std::vector<std::string> lines;
        if (!d.modes.empty()) {
            std::string args;
            for (const std::string& m : d.modes)
                args += (args.empty() ? "" : " ") + q(m);
            lines.push_back(stmt("Modes", args));
        }
        return lines;
    });
    scalar(P[DS_VIRTUAL], d.virtual_x != s.virtual_x || d.virtual_y != s.virtual_y, [&]() -> std::optional<std::string> {
        if (d.virtual_x == 0 && d.virtual_y == 0) return std::nullopt;
        return stmt("Virtual", num(d.virtual_x) + " " + num(d.virtual_y));
    });
    scalar(P[DS_VIEWPORT], d.frame_x0 != s.frame_x0 || d.frame_y0 != s.frame_y0, [&]() -> std::optional<std::string> {
        if (d.frame_x0 == -1 && d.frame_y0 == -1) return std::nullopt;
        return stmt("ViewPort", num(d.frame_x0) + " " + num(d.frame_y0));
    });
    const XF86ConfDisplayRec* orig = c.body ? &s : nullptr;
    option_group(P[DS_OPTIONS], d.options, c.owner, orig ? &orig->options : nullptr);
    return P;
}

std::string write_display(const XF86ConfDisplayRec& d, const XF86ConfDisplayRec& s, const Ctx& c)
{
    Plans P = plan_display(d, s, c);
    return finish(c, P, d.comment, d.comment != s.comment, "SubSection \"Display\"", "EndSubSection");
}

Ctx nested(const Ctx& parent, std::uint32_t owner, const Body* body)
{
    Ctx c;
    c.text = body ? parent.text : nullptr;
    c.body = body;
    c.owner = owner;
    c.base = parent.inner;
    c.nl = parent.nl;
    c.inner = body && parent.text ? detect_inner(*parent.text, body, parent.inner + unit_of(parent.inner))
                                  : parent.inner + unit_of(parent.inner);
    return c;
}

Plans plan_device(const XF86ConfDeviceRec& d, const XF86ConfDeviceRec& s, const Ctx& c)
{
    Plans P(DV_COUNT);
    scalar(P[DV_IDENT], d.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        return stmt("Identifier", q(d.identifier));
    });
    opt_str(P[DV_DRIVER], d.driver, s.driver, "Driver");
    opt_str(P[DV_VENDOR], d.vendor, s.vendor, "VendorName");
    opt_str(P[DV_BOARD], d.board, s.board, "BoardName");
    opt_str(P[DV_CHIPSET], d.chipset, s.chipset, "Chipset");
    opt_str(P[DV_CARD], d.card, s.card, "Card");
    opt_str(P[DV_RAMDAC], d.ramdac, s.ramdac, "Ramdac");
    opt_str(P[DV_CLOCKCHIP], d.clockchip, s.clockchip, "ClockChip");
    scalar(P[DV_DACSPEED], !std::equal(std::begin(d.dacSpeeds), std::end(d.dacSpeeds), std::begin(s.dacSpeeds)),
           [&]() -> std::optional<std::string> {
               std::string args;
               for (int v : d.dacSpeeds) {
                   if (v == 0) break;
                   args += (args.empty() ? "" : " ") + mhz(v);
               }
               if (args.empty()) return std::nullopt;
               return stmt("DacSpeed", args);
           });
    whole(P[DV_CLOCKS], d.clocks != s.clocks, [&]() {
        if (d.clocks.size() > XF86_MAX_CLOCKS)
            throw WriteError{"a Device section has more than " + std::to_string(XF86_MAX_CLOCKS) + " clocks"};
        std::vector<std::string> lines;
        std::string args;
        for (int v : d.clocks)
            args += (args.empty() ? "" : " ") + mhz(v);
        if (!args.empty())
            lines.push_back(stmt("Clocks", args));
        return lines;
    });
    scalar(P[DV_VIDEORAM], d.videoram != s.videoram, [&]() -> std::optional<std::string> {
        if (d.videoram == 0) return std::nullopt;
        return stmt("VideoRam", num(d.videoram));
    });
    auto base = [&](Group& g, unsigned long v, unsigned long o, const char* kw) {
        scalar(g, v != o, [&]() -> std::optional<std::string> {
            if (v == 0) return std::nullopt;
            return stmt(kw, hex32(v));
        });
    };
    base(P[DV_BIOSBASE], d.bios_base, s.bios_base, "BiosBase");
    base(P[DV_MEMBASE], d.mem_base, s.mem_base, "MemBase");
    base(P[DV_IOBASE], d.io_base, s.io_base, "IOBase");
    auto id = [&](Group& g, int v, int o, const char* kw, bool hex) {
        scalar(g, v != o, [&]() -> std::optional<std::string> {
            if (v == -1) return std::nullopt;
            std::string dec = num(v);   // refuses negative values
            return stmt(kw, hex ? hex32(static_cast<unsigned long>(v)) : dec);
        });
    };
    id(P[DV_CHIPID], d.chipid, s.chipid, "ChipID", true);
    id(P[DV_CHIPREV], d.chiprev, s.chiprev, "ChipRev", true);
    id(P[DV_IRQ], d.irq, s.irq, "IRQ", false);
    opt_str(P[DV_BUSID], d.busid, s.busid, "BusID");
    scalar(P[DV_SCREEN], d.screen != s.screen, [&]() -> std::optional<std::string> {
        if (d.screen <= 0) return std::nullopt;
        return stmt("Screen", num(d.screen));
    });
    option_group(P[DV_OPTIONS], d.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_monitor(const XF86ConfMonitorRec& m, const XF86ConfMonitorRec& s, const Ctx& c)
{
    Plans P(MN_COUNT);
    scalar(P[MN_IDENT], m.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        return stmt("Identifier", q(m.identifier));
    });
    opt_str(P[MN_VENDOR], m.vendor, s.vendor, "VendorName");
    opt_str(P[MN_MODEL], m.model, s.model, "ModelName");
    whole(P[MN_USEMODES], m.usemodes != s.usemodes, [&]() {
        std::vector<std::string> lines;
        for (const std::string& u : m.usemodes)
            lines.push_back(stmt("UseModes", q(u)));
        return lines;
    });
    scalar(P[MN_DISPLAYSIZE], m.width != s.width || m.height != s.height, [&]() -> std::optional<std::string> {
        if (m.width == 0 && m.height == 0) return std::nullopt;
        return stmt("DisplaySize", num(m.width) + " " + num(m.height));
    });
    auto sync = [&](Group& g, const std::vector<XF86ConfRange>& v, const std::vector<XF86ConfRange>& o, const char* kw) {
        whole(g, v != o, [&]() {
            if (v.size() > 8)
                throw WriteError{std::string("a Monitor section has more than 8 ") + kw + " ranges"};
            std::vector<std::string> lines;
            if (!v.empty())
                lines.push_back(stmt(kw, ranges(v)));
            return lines;
        });
    };
    sync(P[MN_HSYNC], m.hsync, s.hsync, "HorizSync");
    sync(P[MN_VREFRESH], m.vrefresh, s.vrefresh, "VertRefresh");
    scalar(P[MN_GAMMA], m.gamma_red != s.gamma_red || m.gamma_green != s.gamma_green || m.gamma_blue != s.gamma_blue,
           [&]() -> std::optional<std::string> {
               if (m.gamma_red == 0 && m.gamma_green == 0 && m.gamma_blue == 0) return std::nullopt;
               if (m.gamma_red == m.gamma_green && m.gamma_red == m.gamma_blue)
                   return stmt("Gamma", real(m.gamma_red));
               return stmt("Gamma", real(m.gamma_red) + " " + real(m.gamma_green) + " " + real(m.gamma_blue));
           });
    const std::string inner = c.inner, nl = c.nl;
    elements(P[MN_MODELINES], m.modelines, c.owner, c.body ? &s.modelines : nullptr,
             [&](const XF86ConfModeLineRec& e, const XF86ConfModeLineRec* orig, Elem& el) {
                 with_comment(e, orig, el, modeline_text(e, inner, nl));
             });
    option_group(P[MN_OPTIONS], m.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_screen(const XF86ConfScreenRec& sc, const XF86ConfScreenRec& s, const Ctx& c)
{
    Plans P(SC_COUNT);
    scalar(P[SC_IDENT], sc.identifier != s.identifier || sc.obsolete_driver != s.obsolete_driver || !c.body,
           [&]() -> std::optional<std::string> {
               // Never both: the server refuses a Screen with Identifier and Driver.
               if (sc.obsolete_driver && (sc.identifier.empty() || sc.identifier == *sc.obsolete_driver))
                   return stmt("Driver", q(*sc.obsolete_driver));
               return stmt("Identifier", q(sc.identifier));
           });
    opt_str(P[SC_DEVICE], sc.device_name, s.device_name, "Device");
    opt_str(P[SC_MONITOR], sc.monitor_name, s.monitor_name, "Monitor");
    auto positive = [&](Group& g, int v, int o, const char* kw) {
        scalar(g, v != o, [&]() -> std::optional<std::string> {
            if (v == 0) return std::nullopt;
            return stmt(kw, num(v));
        });
    };
    positive(P[SC_DEPTH], sc.defaultdepth, s.defaultdepth, "DefaultDepth");
    positive(P[SC_BPP], sc.defaultbpp, s.defaultbpp, "DefaultBPP");
    positive(P[SC_FBBPP], sc.defaultfbbpp, s.defaultfbbpp, "DefaultFbBPP");
    whole(P[SC_ADAPTORS], sc.adaptors != s.adaptors, [&]() {
        std::vector<std::string> lines;
        for (const std::string& a : sc.adaptors)
            lines.push_back(stmt("VideoAdaptor", q(a)));
        return lines;
    });
    option_group(P[SC_OPTIONS], sc.options, c.owner, c.body ? &s.options : nullptr);
    elements(P[SC_DISPLAYS], sc.displays, c.owner, c.body ? &s.displays : nullptr,
             [&](const XF86ConfDisplayRec& d, const XF86ConfDisplayRec* orig, Elem& el) {
                 static const XF86ConfDisplayRec blank;
                 const Body* body = orig ? orig->src.body() : nullptr;
                 Ctx sub = nested(c, d.src.id(), body);
                 el.text = write_display(d, body ? *orig : blank, sub);
                 el.keep_trailing = true;
                 el.spliced = body != nullptr;
             });
    return P;
}

Plans plan_layout(const XF86ConfLayoutRec& l, const XF86ConfLayoutRec& s, const Ctx& c)
{
    Plans P(LY_COUNT);
    scalar(P[LY_IDENT], l.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        return stmt("Identifier", q(l.identifier));
    });
    elements(P[LY_SCREENS], l.adjacencies, c.owner, c.body ? &s.adjacencies : nullptr,
             [](const XF86ConfAdjacencyRec& a, const XF86ConfAdjacencyRec* orig, Elem& el) {
                 with_comment(a, orig, el, adjacency_text(a));
             });
    elements(P[LY_INACTIVE], l.inactives, c.owner, c.body ? &s.inactives : nullptr,
             [](const XF86ConfInactiveRec& a, const XF86ConfInactiveRec* orig, Elem& el) {
                 with_comment(a, orig, el, stmt("Inactive", q(a.device_name)));
             });
    elements(P[LY_INPUTS], l.inputs, c.owner, c.body ? &s.inputs : nullptr,
             [](const XF86ConfInputrefRec& a, const XF86ConfInputrefRec* orig, Elem& el) {
                 with_comment(a, orig, el, inputref_text(a));
             });
    option_group(P[LY_OPTIONS], l.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_module(const XF86ConfModuleRec& m, const XF86ConfModuleRec& s, const Ctx& c)
{
    Plans P(MD_COUNT);
    const std::string inner = c.inner, nl = c.nl;
    elements(P[MD_LOADS], m.loads, c.owner, c.body ? &s.loads : nullptr,
             [&](const XF86LoadRec& l, const XF86LoadRec* orig, Elem& el) {
                 with_comment(l, orig, el, load_text(l, inner, nl));
             });
    return P;
}

Plans plan_flags(const XF86ConfFlagsRec& f, const XF86ConfFlagsRec& s, const Ctx& c)
{
    Plans P(FL_COUNT);
    option_group(P[FL_OPTIONS], f.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_generic(const XF86GenericSectionRec& g, const XF86GenericSectionRec& s, const Ctx& c)
{
    const XF86SectionKind k = g.kind;
    if (!g.options.empty() && (k == XF86SectionKind::Files || k == XF86SectionKind::DRI ||
                                k == XF86SectionKind::Modes || k == XF86SectionKind::Other))
        throw WriteError{std::string("a ") + kind_name(k) + " section cannot hold Option lines"};
    if (kind_has_identifier(k) && !g.identifier)
        throw WriteError{std::string("a ") + kind_name(k) + " section needs an Identifier"};
    Plans P(GN_COUNT);
    scalar(P[GN_IDENT], g.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        if (!g.identifier || !kind_has_identifier(g.kind)) return std::nullopt;
        return stmt("Identifier", q(*g.identifier));
    });
    option_group(P[GN_OPTIONS], g.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

template <class T>
std::string run_section(const T& cur, const XF86SectionRec* snap, Ctx c, Plans (*plan)(const T&, const T&, const Ctx&),
                        const std::string& head)
{
    const T* old = snap ? dynamic_cast<const T*>(snap) : nullptr;
    std::unique_ptr<T> blank;
    if (!old) {
        c.text = nullptr;
        c.body = nullptr;
        if constexpr (std::is_constructible_v<T, XF86SectionKind>)
            blank = std::make_unique<T>(cur.kind);
        else
            blank = std::make_unique<T>();
        old = blank.get();
    }
    Plans P = plan(cur, *old, c);
    if (c.text && c.body) {
        // `old` was read from the same place: a comment still as read is the
        // one in the body being rewritten.
        const bool changed = !cur.comment_as_read() && cur.given_comment() != old->comment();
        return finish(c, P, cur.given_comment(), changed, head, "EndSection");
    }
    return finish(c, P, cur.comment(), true, head, "EndSection");
}


}  // namespace

// Writes a section from 'Section' to 'EndSection'; `snap` is the section as
// read (null for a new section).
std::string write_section(const XF86SectionRec& sec, const XF86SectionRec* snap, const std::string* text, const std::string& nl)
{
    Ctx c;
    c.text = snap ? text : nullptr;
    c.body = snap ? snap->src.body() : nullptr;
    if (!c.body)
        c.text = nullptr;
    c.owner = sec.src.id();
    c.nl = nl;
    c.inner = c.body && text ? detect_inner(*text, c.body, "    ") : std::string("    ");
    const std::string name = kind_name(sec.kind);
    const std::string head = "Section " + q(sec.section_name ? std::string(*sec.section_name) : name);
    if (auto* d = dynamic_cast<const XF86ConfDeviceRec*>(&sec)) return run_section(*d, snap, c, plan_device, head);
    if (auto* m = dynamic_cast<const XF86ConfMonitorRec*>(&sec)) return run_section(*m, snap, c, plan_monitor, head);
    if (auto* s = dynamic_cast<const XF86ConfScreenRec*>(&sec)) return run_section(*s, snap, c, plan_screen, head);
    if (auto* l = dynamic_cast<const XF86ConfLayoutRec*>(&sec)) return run_section(*l, snap, c, plan_layout, head);
    if (auto* m = dynamic_cast<const XF86ConfModuleRec*>(&sec)) return run_section(*m, snap, c, plan_module, head);
    if (auto* f = dynamic_cast<const XF86ConfFlagsRec*>(&sec)) return run_section(*f, snap, c, plan_flags, head);
    if (auto* g = dynamic_cast<const XF86GenericSectionRec*>(&sec)) return run_section(*g, snap, c, plan_generic, head);
    throw WriteError{"a section of an unknown type"};
}

}  // namespace cvx::xf86config::detail::write
