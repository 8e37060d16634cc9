// How values and whole statements are spelled in new text.
#include "xf86config/write.h"
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>

namespace cvx::xf86config::detail::write {

std::string q(std::string_view s)
{
    for (char c : s)
        if (c == '"' || c == '\n' || c == '\r' || c == '\0')
            throw WriteError{"the text \"" + std::string(s.substr(0, 40)) +
                             "\" holds a quote, a line break or a NUL byte, which the file format cannot hold"};
    return quoted(s);
}

std::string num(int v)
{
    // The server reads whole numbers with strtoul and keeps them in an int,
    // so a file can give any negative value as its 32-bit unsigned form, and
    // that form reads back as the same value (a number too large for int
    // read as a real, as INT_MIN, reads back alike from 2147483648).
    if (v < 0)
        return std::to_string(static_cast<std::uint32_t>(v));
    return std::to_string(v);
}

std::string hex32(unsigned long v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%lx", v & 0xffffffffUL);
    return buf;
}

// kHz as MHz, exactly: 108880 -> "108.88", 108000 -> "108.0".
std::string mhz(int khz)
{
    // The parser's value for a frequency beyond the range of int, as the
    // server's; this text reads back as the same.
    if (khz == std::numeric_limits<int>::min())
        return "2147483.648";
    if (khz < 0)
        throw WriteError{"the frequency " + std::to_string(khz) + " kHz is negative"};
    std::string s = std::to_string(khz / 1000);
    char frac[4] = {static_cast<char>('0' + khz % 1000 / 100), static_cast<char>('0' + khz % 100 / 10),
                    static_cast<char>('0' + khz % 10), 0};
    int len = 3;
    while (len > 1 && frac[len - 1] == '0')
        --len;
    return s + "." + std::string(frac, static_cast<std::size_t>(len));
}

std::string real(float v)
{
    if (!std::isfinite(v) || v < 0)
        throw WriteError{"a value is negative or not a number"};
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc())
        throw WriteError{"a value is too large to write"};
    std::string s(buf, r.ptr);
    return s;
}

std::string stmt(const char* kw, const std::string& args)
{
    std::string s = kw;
    s.push_back(' ');
    while (s.size() < 13)
        s.push_back(' ');
    return s + args;
}

std::string comment_text(std::string_view c)
{
    for (char ch : c)
        if (ch == '\n' || ch == '\r' || ch == '\0')
            throw WriteError{"a comment holds a line break or a NUL byte"};
    return c.empty() || c[0] != '#' ? "# " + std::string(c) : std::string(c);
}

std::string ranges(const std::vector<XF86ConfRange>& v)
{
    std::string s;
    for (const XF86ConfRange& r : v) {
        if (r.hi < r.lo)
            throw WriteError{"a sync range ends below its start"};
        if (!s.empty())
            s += ", ";
        s += real(r.lo);
        if (r.hi != r.lo)
            s += " - " + real(r.hi);
    }
    return s;
}

std::string unit_of(const std::string& inner) { return inner.empty() ? "    " : inner; }

// ---------------------------------------------------------------- statements

std::string option_text(const XF86OptionRec& o)
{
    std::string s = stmt("Option", q(o.name));
    if (o.value)
        s += " " + q(*o.value);
    return s;
}

std::string modeline_text(const XF86ConfModeLineRec& m, const std::string& inner, const std::string& nl)
{
    auto timings = [](int a, int b, int c, int d) {
        return num(a) + " " + num(b) + " " + num(c) + " " + num(d);
    };
    const int f = m.flags;
    if (!m.is_block || (f & XF86CONF_BCAST)) {
        std::string s = stmt("ModeLine", q(m.identifier) + " " + mhz(m.clock) + " " +
                                             timings(m.hdisplay, m.hsyncstart, m.hsyncend, m.htotal) + " " +
                                             timings(m.vdisplay, m.vsyncstart, m.vsyncend, m.vtotal));
        static const std::pair<int, const char*> words[] = {
            {XF86CONF_PHSYNC, "+HSync"}, {XF86CONF_NHSYNC, "-HSync"}, {XF86CONF_PVSYNC, "+VSync"},
            {XF86CONF_NVSYNC, "-VSync"}, {XF86CONF_INTERLACE, "Interlace"}, {XF86CONF_CSYNC, "Composite"},
            {XF86CONF_PCSYNC, "+CSync"}, {XF86CONF_NCSYNC, "-CSync"}, {XF86CONF_DBLSCAN, "DoubleScan"},
        };
        for (const auto& [bit, word] : words)
            if (f & bit)
                s += std::string(" ") + word;
        if (f & XF86CONF_HSKEW)
            s += " HSkew " + num(m.hskew);
        if (f & XF86CONF_VSCAN)
            s += " VScan " + num(m.vscan);
        if (f & XF86CONF_BCAST)
            s += " BCast";
        return s;
    }
    const std::string in2 = inner + unit_of(inner);
    std::string s = "Mode " + q(m.identifier) + nl;
    s += in2 + stmt("DotClock", mhz(m.clock)) + nl;
    s += in2 + stmt("HTimings", timings(m.hdisplay, m.hsyncstart, m.hsyncend, m.htotal)) + nl;
    s += in2 + stmt("VTimings", timings(m.vdisplay, m.vsyncstart, m.vsyncend, m.vtotal)) + nl;
    static const std::pair<int, const char*> words[] = {
        {XF86CONF_PHSYNC, "+HSync"}, {XF86CONF_NHSYNC, "-HSync"}, {XF86CONF_PVSYNC, "+VSync"},
        {XF86CONF_NVSYNC, "-VSync"}, {XF86CONF_INTERLACE, "Interlace"}, {XF86CONF_CSYNC, "Composite"},
        {XF86CONF_PCSYNC, "+CSync"}, {XF86CONF_NCSYNC, "-CSync"}, {XF86CONF_DBLSCAN, "DoubleScan"},
    };
    std::string flags;
    for (const auto& [bit, word] : words)
        if (f & bit)
            flags += std::string(flags.empty() ? "" : " ") + "\"" + word + "\"";
    if (!flags.empty())
        s += in2 + stmt("Flags", flags) + nl;
    if (f & XF86CONF_HSKEW)
        s += in2 + stmt("HSkew", num(m.hskew)) + nl;
    if (f & XF86CONF_VSCAN)
        s += in2 + stmt("VScan", num(m.vscan)) + nl;
    return s + inner + "EndMode";
}

std::string adjacency_text(const XF86ConfAdjacencyRec& a)
{
    std::string s = a.scrnum >= 0 ? num(a.scrnum) + " " : std::string();
    s += q(a.screen_name);
    auto ref = [&]() -> std::string {
        if (!a.refscreen)
            throw WriteError{"the Screen line \"" + a.screen_name + "\" has a relation but no reference screen"};
        return q(*a.refscreen);
    };
    switch (a.where) {
    case CONF_ADJ_ABSOLUTE:
        if (a.has_position)
            s += " Absolute " + num(a.x) + " " + num(a.y);
        break;
    case CONF_ADJ_RIGHTOF: s += " RightOf " + ref(); break;
    case CONF_ADJ_LEFTOF: s += " LeftOf " + ref(); break;
    case CONF_ADJ_ABOVE: s += " Above " + ref(); break;
    case CONF_ADJ_BELOW: s += " Below " + ref(); break;
    case CONF_ADJ_RELATIVE: s += " Relative " + ref() + " " + num(a.x) + " " + num(a.y); break;
    case CONF_ADJ_OBSOLETE:
        s += " " + q(a.top.value_or("")) + " " + q(a.bottom.value_or("")) + " " +
             q(a.left.value_or("")) + " " + q(a.right.value_or(""));
        break;
    default:
        throw WriteError{"the Screen line \"" + a.screen_name + "\" has an unknown relation"};
    }
    return stmt("Screen", s);
}

std::string inputref_text(const XF86ConfInputrefRec& r)
{
    std::string s = q(r.name);
    for (const std::string& o : r.options)
        s += " " + q(o);
    return stmt("InputDevice", s);
}

std::string load_text(const XF86LoadRec& l, const std::string& inner, const std::string& nl)
{
    if (!l.is_subsection) {
        const char* kw = l.type == XF86_LOAD_DRIVER ? "LoadDriver" : l.type == XF86_DISABLE_MODULE ? "Disable" : "Load";
        return stmt(kw, q(l.name));
    }
    const std::string in2 = inner + unit_of(inner);
    std::string s = "SubSection " + q(l.name) + nl;
    for (const XF86OptionRec& o : l.options)
        s += in2 + option_text(o) + (o.comment ? " " + comment_text(*o.comment) : "") + nl;
    return s + inner + "EndSubSection";
}

}  // namespace cvx::xf86config::detail::write
