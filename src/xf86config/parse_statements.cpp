// Statement forms several sections share: the expected-value helpers,
// Option lines, sync ranges and both forms of a mode.
#include "xf86config/parse.h"

namespace cvx::xf86config::detail::parse {

std::string Parser::need_str_msg(const char* msg)
{
    Token t = get();
    if (t.kind != Tk::Str)
        fail(t.line, msg);
    return std::string(t.text);
}

std::string Parser::need_str(const char* kw)
{
    Token t = get();
    if (t.kind != Tk::Str)
        fail(t.line, std::string("The ") + kw + " keyword requires a quoted string to follow it.");
    return std::string(t.text);
}

int Parser::need_int_msg(const char* msg)
{
    Token t = get();
    if (t.kind != Tk::Num)
        fail(t.line, msg);
    return int_value(t.text);
}

int Parser::need_int(const char* kw)
{
    Token t = get();
    if (t.kind != Tk::Num)
        fail(t.line, std::string("The ") + kw + " keyword requires a number to follow it.");
    return int_value(t.text);
}

double Parser::need_real_msg(const char* msg)
{
    Token t = get();
    if (t.kind != Tk::Num)
        fail(t.line, msg);
    return real_value(t.text);
}

// ---------------------------------------------------------------- statements

void Parser::parse_option(Body& b, std::size_t begin, XF86OptionList& list, int group, std::uint32_t owner)
{
    Token name = get();
    if (name.kind != Tk::Str) {
        // Not fatal for the server: it logs the problem and drops the token.
        warn(name.line, "The Option keyword requires 1 or 2 quoted strings to follow it.");
        add_item(b, begin, G_KEEP);
        return;
    }
    XF86OptionRec o;
    o.name = name.text;
    Token v = get();
    if (v.kind == Tk::Str)
        o.value = std::string(v.text);
    else
        unget(std::move(v));
    o.comment = comment_after(m_last_end);
    int idx = add_item(b, begin, group);
    o.src.set_origin(owner, idx);
    list.push_back(std::move(o));
}

void Parser::parse_ranges(std::vector<XF86ConfRange>& v, const char* kw, std::size_t limit, const char* too_many)
{
    auto msg = [kw] { return std::string("The ") + kw + " keyword must be followed by a list of numbers or ranges."; };
    Token t = get();
    if (t.kind != Tk::Num)
        fail(t.line, msg());
    for (;;) {
        double lo = real_value(t.text), hi = lo;
        Token u = get();
        if (u.kind == Tk::Dash) {
            Token h = get();
            if (h.kind != Tk::Num)
                fail(h.line, msg());
            hi = real_value(h.text);
            if (hi < lo)
                fail(h.line, msg());
            u = get();
        }
        if (v.size() >= limit)
            fail(t.line, too_many);
        v.push_back({static_cast<float>(lo), static_cast<float>(hi)});
        if (u.kind == Tk::Comma) {
            Token w = get();
            if (w.kind == Tk::Num) {
                t = std::move(w);
                continue;
            }
            unget(std::move(w));
            break;
        }
        unget(std::move(u));
        break;
    }
}

const Kw kModeFlags[] = {
    {"Interlace", XF86CONF_INTERLACE}, {"+HSync", XF86CONF_PHSYNC}, {"-HSync", XF86CONF_NHSYNC},
    {"+VSync", XF86CONF_PVSYNC}, {"-VSync", XF86CONF_NVSYNC}, {"Composite", XF86CONF_CSYNC},
    {"+CSync", XF86CONF_PCSYNC}, {"-CSync", XF86CONF_NCSYNC}, {"DoubleScan", XF86CONF_DBLSCAN},
    {"BCast", XF86CONF_BCAST}, {"HSkew", XF86CONF_HSKEW}, {"VScan", XF86CONF_VSCAN},
};

XF86ConfModeLineRec Parser::parse_modeline()
{
    XF86ConfModeLineRec m;
    m.identifier = need_str_msg("ModeLine identifier expected");
    m.clock = to_khz(need_real_msg("ModeLine dotclock expected"));
    m.hdisplay = need_int_msg("ModeLine Hdisplay expected");
    m.hsyncstart = need_int_msg("ModeLine HSyncStart expected");
    m.hsyncend = need_int_msg("ModeLine HSyncEnd expected");
    m.htotal = need_int_msg("ModeLine HTotal expected");
    m.vdisplay = need_int_msg("ModeLine Vdisplay expected");
    m.vsyncstart = need_int_msg("ModeLine VSyncStart expected");
    m.vsyncend = need_int_msg("ModeLine VSyncEnd expected");
    m.vtotal = need_int_msg("ModeLine VTotal expected");
    for (;;) {
        Token f = get();
        int id = f.kind == Tk::Word ? lookup(kModeFlags, f.text) : -1;
        if (id < 0) {
            unget(std::move(f));
            break;
        }
        if (id == XF86CONF_HSKEW)
            m.hskew = need_int("Hskew");
        else if (id == XF86CONF_VSCAN)
            m.vscan = need_int("Vscan");
        m.flags |= id;
    }
    return m;
}

XF86ConfModeLineRec Parser::parse_mode_block()
{
    static const Kw table[] = {
        {"EndMode", 0}, {"DotClock", 1}, {"HTimings", 2}, {"VTimings", 3}, {"Flags", 4},
        {"HSkew", 5}, {"VScan", 6},
    };
    static const Kw flags[] = {
        {"Interlace", XF86CONF_INTERLACE}, {"+HSync", XF86CONF_PHSYNC}, {"-HSync", XF86CONF_NHSYNC},
        {"+VSync", XF86CONF_PVSYNC}, {"-VSync", XF86CONF_NVSYNC}, {"Composite", XF86CONF_CSYNC},
        {"+CSync", XF86CONF_PCSYNC}, {"-CSync", XF86CONF_NCSYNC}, {"DoubleScan", XF86CONF_DBLSCAN},
    };
    XF86ConfModeLineRec m;
    m.is_block = true;
    m.identifier = need_str_msg("Mode name expected");
    bool clock = false, h = false, v = false;
    for (;;) {
        Token k = get();
        int id = k.kind == Tk::Word ? lookup(table, k.text) : -1;
        switch (id) {
        case 0:
            if (!clock)
                fail(k.line, "the dotclock is missing");
            if (!h)
                fail(k.line, "the horizontal timings are missing");
            if (!v)
                fail(k.line, "the vertical timings are missing");
            return m;
        case 1:
            m.clock = to_khz(need_real_msg("The DotClock keyword requires a number to follow it."));
            clock = true;
            break;
        case 2:
            m.hdisplay = need_int_msg("Horizontal display expected");
            m.hsyncstart = need_int_msg("Horizontal sync start expected");
            m.hsyncend = need_int_msg("Horizontal sync end expected");
            m.htotal = need_int_msg("Horizontal total expected");
            h = true;
            break;
        case 3:
            m.vdisplay = need_int_msg("Vertical display expected");
            m.vsyncstart = need_int_msg("Vertical sync start expected");
            m.vsyncend = need_int_msg("Vertical sync end expected");
            m.vtotal = need_int_msg("Vertical total expected");
            v = true;
            break;
        case 4: {
            Token f = get();
            if (f.kind != Tk::Str)
                fail(f.line, "The Flags keyword requires a quoted string to follow it.");
            while (f.kind == Tk::Str) {
                int fl = lookup(flags, f.text);
                if (fl < 0)
                    fail(f.line, "Unknown flag string");
                m.flags |= fl;
                f = get();
            }
            unget(std::move(f));
            break;
        }
        case 5:
            m.hskew = need_int_msg("Horizontal skew expected");
            m.flags |= XF86CONF_HSKEW;
            break;
        case 6:
            m.vscan = need_int_msg("Vertical scan count expected");
            m.flags |= XF86CONF_VSCAN;
            break;
        default:
            fail(k.line, "Unexpected token in verbose \"Mode\" entry\n");
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
