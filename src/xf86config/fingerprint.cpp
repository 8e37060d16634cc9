// A section's fingerprint: a 64-bit hash of exactly what section_equal
// compares. The writer takes a section whose fingerprint is still the one it
// had when read as unchanged and copies its text without parsing it again; a
// different fingerprint sends it to the exact comparison. Two different
// contents share a fingerprint with a chance of 2^-64.
#include "xf86config/internal.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <typeinfo>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace cvx::xf86config::detail {

namespace {

// The compared content is laid out in one buffer, each string behind its
// length so that no two contents lay out alike, and hashed once: a chained
// mix per word cost an eighth of the whole parse.
class Fp {
public:
    Fp() = default;
    ~Fp()
    {
        if (m_buf.capacity() > kKeptRoom)
            std::string().swap(m_buf);
    }
    Fp(const Fp&) = delete;
    Fp& operator=(const Fp&) = delete;
    void word(std::uint64_t v) { put(&v, sizeof v); }
    void num(long long v) { word(static_cast<std::uint64_t>(v)); }
    void real(float v) { word(std::bit_cast<std::uint32_t>(v)); }
    void str(std::string_view s)
    {
        word(s.size());
        put(s.data(), s.size());
    }
    // std::optional<std::string> or XF86OptionalText: the same layout for both.
    template <class Text>
    void opt(const Text& o)
    {
        if (o) {
            word(1);
            str(*o);
        } else {
            word(2);
        }
    }
    void strs(const std::vector<std::string>& v)
    {
        word(v.size());
        for (const std::string& s : v)
            str(s);
    }
    void options(const XF86OptionList& list)
    {
        word(list.size());
        for (const XF86OptionRec& o : list) {
            str(o.name);
            opt(o.value);
            opt(o.comment);
        }
    }
    void ranges(const std::vector<XF86ConfRange>& v)
    {
        word(v.size());
        for (const XF86ConfRange& r : v) {
            real(r.lo);
            real(r.hi);
        }
    }
    void modeline(const XF86ConfModeLineRec& m)
    {
        str(m.identifier);
        for (int v : {m.clock, m.hdisplay, m.hsyncstart, m.hsyncend, m.htotal, m.vdisplay, m.vsyncstart,
                      m.vsyncend, m.vtotal, m.vscan, m.flags, m.hskew})
            num(v);
        word(m.is_block);
        opt(m.comment);
    }
    void display(const XF86ConfDisplayRec& d)
    {
        for (int v : {d.frame_x0, d.frame_y0, d.virtual_x, d.virtual_y, d.depth, d.bpp, d.weight_red,
                      d.weight_green, d.weight_blue, d.black_red, d.black_green, d.black_blue, d.white_red,
                      d.white_green, d.white_blue})
            num(v);
        opt(d.visual);
        strs(d.modes);
        options(d.options);
        opt(d.comment);
    }
    // What XF86ConfAdjacencyRec::operator== compares.
    void adjacency(const XF86ConfAdjacencyRec& a)
    {
        num(a.scrnum);
        str(a.screen_name);
        num(a.where);
        opt(a.comment);
        switch (a.where) {
        case CONF_ADJ_ABSOLUTE:
            word(a.has_position);
            if (a.has_position) {
                num(a.x);
                num(a.y);
            }
            break;
        case CONF_ADJ_RELATIVE:
            opt(a.refscreen);
            num(a.x);
            num(a.y);
            break;
        case CONF_ADJ_OBSOLETE:
            opt(a.top);
            opt(a.bottom);
            opt(a.left);
            opt(a.right);
            break;
        default:
            opt(a.refscreen);
            break;
        }
    }

    std::uint64_t hash() const { return XXH3_64bits(m_buf.data(), m_len); }

private:
    void put(const void* p, std::size_t n)
    {
        if (m_buf.size() - m_len < n) [[unlikely]]
            grow(n);
        std::memcpy(m_buf.data() + m_len, p, n);
        m_len += n;
    }
    [[gnu::noinline]] void grow(std::size_t n) { m_buf.resize(std::max(2 * m_buf.size(), m_len + n + 1024)); }
    std::size_t m_len = 0;   // bytes of m_buf in use
    // One buffer per thread, reused: its room stays after the first sections,
    // unless one huge section made it larger than sections usually need.
    static constexpr std::size_t kKeptRoom = 1 << 16;
    static thread_local std::string m_buf;
};

thread_local std::string Fp::m_buf;

void device(Fp& f, const XF86ConfDeviceRec& d)
{
    f.str(d.identifier);
    for (const auto* o : {&d.vendor, &d.board, &d.chipset, &d.busid, &d.card, &d.driver, &d.ramdac, &d.clockchip})
        f.opt(*o);
    for (int v : d.dacSpeeds)
        f.num(v);
    f.num(d.videoram);
    f.num(d.textclockfreq);
    f.word(d.bios_base);
    f.word(d.mem_base);
    f.word(d.io_base);
    f.word(d.clocks.size());
    for (int v : d.clocks)
        f.num(v);
    f.num(d.chipid);
    f.num(d.chiprev);
    f.num(d.irq);
    f.num(d.screen);
    f.options(d.options);
}

void monitor(Fp& f, const XF86ConfMonitorRec& m)
{
    f.str(m.identifier);
    f.opt(m.vendor);
    f.opt(m.model);
    f.num(m.width);
    f.num(m.height);
    f.ranges(m.hsync);
    f.ranges(m.vrefresh);
    f.real(m.gamma_red);
    f.real(m.gamma_green);
    f.real(m.gamma_blue);
    f.word(m.modelines.size());
    for (const XF86ConfModeLineRec& ml : m.modelines)
        f.modeline(ml);
    f.strs(m.usemodes);
    f.options(m.options);
}

void screen(Fp& f, const XF86ConfScreenRec& s)
{
    f.str(s.identifier);
    f.opt(s.obsolete_driver);
    f.num(s.defaultdepth);
    f.num(s.defaultbpp);
    f.num(s.defaultfbbpp);
    f.opt(s.monitor_name);
    f.opt(s.device_name);
    f.strs(s.adaptors);
    f.word(s.displays.size());
    for (const XF86ConfDisplayRec& d : s.displays)
        f.display(d);
    f.options(s.options);
}

void layout(Fp& f, const XF86ConfLayoutRec& l)
{
    f.str(l.identifier);
    f.word(l.adjacencies.size());
    for (const XF86ConfAdjacencyRec& a : l.adjacencies)
        f.adjacency(a);
    f.word(l.inactives.size());
    for (const XF86ConfInactiveRec& i : l.inactives) {
        f.str(i.device_name);
        f.opt(i.comment);
    }
    f.word(l.inputs.size());
    for (const XF86ConfInputrefRec& r : l.inputs) {
        f.str(r.name);
        f.strs(r.options);
        f.opt(r.comment);
    }
    f.options(l.options);
}

void module(Fp& f, const XF86ConfModuleRec& m)
{
    f.word(m.loads.size());
    for (const XF86LoadRec& l : m.loads) {
        f.num(l.type);
        f.str(l.name);
        f.word(l.is_subsection);
        f.options(l.options);
        f.opt(l.comment);
    }
}

}  // namespace

std::uint64_t section_fingerprint(const XF86SectionRec& sec)
{
    Fp f;
    f.num(static_cast<int>(sec.kind));
    if (sec.comment_as_read())
        f.word(3);   // the lines in the text: equal as long as they stay unread there
    else
        f.opt(sec.given_comment());
    // The record's own type, as section_equal tells them apart. Only the
    // library's own types have a fingerprint.
    const std::type_info& type = typeid(sec);
    auto is = [&type](const std::type_info& t) { return type == t; };
    if (is(typeid(XF86ConfDeviceRec))) {
        f.word(1);
        device(f, static_cast<const XF86ConfDeviceRec&>(sec));
    } else if (is(typeid(XF86ConfMonitorRec))) {
        f.word(2);
        monitor(f, static_cast<const XF86ConfMonitorRec&>(sec));
    } else if (is(typeid(XF86ConfScreenRec))) {
        f.word(3);
        screen(f, static_cast<const XF86ConfScreenRec&>(sec));
    } else if (is(typeid(XF86ConfLayoutRec))) {
        f.word(4);
        layout(f, static_cast<const XF86ConfLayoutRec&>(sec));
    } else if (is(typeid(XF86ConfModuleRec))) {
        f.word(5);
        module(f, static_cast<const XF86ConfModuleRec&>(sec));
    } else if (is(typeid(XF86ConfFlagsRec))) {
        f.word(6);
        f.options(static_cast<const XF86ConfFlagsRec&>(sec).options);
    } else if (is(typeid(XF86GenericSectionRec))) {
        f.word(7);
        f.opt(static_cast<const XF86GenericSectionRec&>(sec).identifier);
        f.options(static_cast<const XF86GenericSectionRec&>(sec).options);
    } else {
        return 0;   // no fingerprint: the exact comparison decides
    }
    return f.hash();
}

}  // namespace cvx::xf86config::detail
