// A whole file or one section: the Section line, the per-kind parsers and
// the record of where the section stands; the library's parse entry points.
#include "xf86config/parse.h"

#include <cstdint>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace cvx::xf86config::detail::parse {

namespace {

struct SectionName { std::string_view name; XF86SectionKind kind; };
const SectionName kSections[] = {
    {"Files", XF86SectionKind::Files}, {"ServerFlags", XF86SectionKind::ServerFlags},
    {"Module", XF86SectionKind::Module}, {"Extensions", XF86SectionKind::Extensions},
    {"InputDevice", XF86SectionKind::InputDevice}, {"InputClass", XF86SectionKind::InputClass},
    {"OutputClass", XF86SectionKind::OutputClass}, {"Device", XF86SectionKind::Device},
    {"VideoAdaptor", XF86SectionKind::VideoAdaptor}, {"Monitor", XF86SectionKind::Monitor},
    {"Modes", XF86SectionKind::Modes}, {"Screen", XF86SectionKind::Screen},
    {"ServerLayout", XF86SectionKind::ServerLayout}, {"DRI", XF86SectionKind::DRI},
    {"Vendor", XF86SectionKind::Vendor}, {"Pointer", XF86SectionKind::Other},
};

// Lists grow by doubling while a section is read; a tree is kept for as long
// as the file is open, so each list is given back its unused room.
template <class T>
void fit(std::vector<T>& v)
{
    if (v.capacity() > v.size())
        v.shrink_to_fit();
}

void fit_lists(XF86SectionRec& sec)
{
    switch (sec.kind) {
    case XF86SectionKind::Device: {
        auto& d = static_cast<XF86ConfDeviceRec&>(sec);
        fit(d.options);
        fit(d.clocks);
        break;
    }
    case XF86SectionKind::Monitor: {
        auto& m = static_cast<XF86ConfMonitorRec&>(sec);
        fit(m.options);
        fit(m.hsync);
        fit(m.vrefresh);
        fit(m.modelines);
        fit(m.usemodes);
        break;
    }
    case XF86SectionKind::Screen: {
        auto& sc = static_cast<XF86ConfScreenRec&>(sec);
        fit(sc.options);
        fit(sc.adaptors);
        fit(sc.displays);
        for (XF86ConfDisplayRec& d : sc.displays) {
            fit(d.modes);
            fit(d.options);
        }
        break;
    }
    case XF86SectionKind::ServerLayout: {
        auto& l = static_cast<XF86ConfLayoutRec&>(sec);
        fit(l.options);
        fit(l.adjacencies);
        fit(l.inactives);
        fit(l.inputs);
        break;
    }
    case XF86SectionKind::Module: {
        auto& m = static_cast<XF86ConfModuleRec&>(sec);
        fit(m.loads);
        for (XF86LoadRec& l : m.loads)
            fit(l.options);
        break;
    }
    case XF86SectionKind::ServerFlags:
        fit(static_cast<XF86ConfFlagsRec&>(sec).options);
        break;
    default:
        fit(static_cast<XF86GenericSectionRec&>(sec).options);
        break;
    }
}

}  // namespace

std::unique_ptr<XF86SectionRec> Parser::parse_section(const Token& kw)
{
    Token name = get();
    if (name.kind != Tk::Str)
        fail(name.line, "The Section keyword requires a quoted string to follow it.");
    m_section = std::string(name.text);
    m_section_line = kw.line;
    std::optional<XF86SectionKind> kind;
    char buf[48];
    std::size_t len = 0;
    if (fold(name.text, buf, len))
        for (const SectionName& sn : kSections)
            if (folded_equals(buf, len, sn.name))
                kind = sn.kind;
    if (!kind)
        fail(name.line, quoted(name.text) + " is not a valid section name.");

    std::unique_ptr<XF86SectionRec> rec;
    SourcePlace owned;
    {
        Place& place = owned.edit_place();
        place.text = m_text;
        place.text_has_nul = m_has_nul;
        place.begin = static_cast<std::uint32_t>(kw.begin);
        place.id = next_source_id();
    }
    const std::uint32_t me = owned.id();
    Body body = take_body();
    body.head_begin = kw.begin;
    switch (*kind) {
    case XF86SectionKind::Device: {
        auto d = std::make_unique<XF86ConfDeviceRec>();
        d->src = std::move(owned);
        parse_device(*d, body, me);
        rec = std::move(d);
        break;
    }
    case XF86SectionKind::Monitor: {
        auto m = std::make_unique<XF86ConfMonitorRec>();
        m->src = std::move(owned);
        parse_monitor(*m, body, me);
        rec = std::move(m);
        break;
    }
    case XF86SectionKind::Screen: {
        auto sc = std::make_unique<XF86ConfScreenRec>();
        sc->src = std::move(owned);
        parse_screen(*sc, body, me);
        rec = std::move(sc);
        break;
    }
    case XF86SectionKind::ServerLayout: {
        auto l = std::make_unique<XF86ConfLayoutRec>();
        l->src = std::move(owned);
        parse_layout(*l, body, me);
        rec = std::move(l);
        break;
    }
    case XF86SectionKind::Module: {
        auto m = std::make_unique<XF86ConfModuleRec>();
        m->src = std::move(owned);
        parse_module(*m, body, me);
        rec = std::move(m);
        break;
    }
    case XF86SectionKind::ServerFlags: {
        auto f = std::make_unique<XF86ConfFlagsRec>();
        f->src = std::move(owned);
        parse_flags(*f, body, me);
        rec = std::move(f);
        break;
    }
    default: {
        auto g = std::make_unique<XF86GenericSectionRec>(*kind);
        g->src = std::move(owned);
        if (*kind == XF86SectionKind::Other)
            m_saw_pointer = true;
        parse_generic(*g, body, me);
        rec = std::move(g);
        break;
    }
    }
    if (*m_section != kind_name(rec->kind))
        rec->section_name = *m_section;
    fit_lists(*rec);
    finish_body(body, name.end);
    if (m_copy_comments)
        rec->set_comment(own_line_comments(body));
    else if (own_line_comment_lines(body, nullptr))
        rec->src.edit_place().comment_as_read = true;   // read from the text when asked for
    rec->src.edit_place().tail = static_cast<std::uint32_t>(trail_scan(body.end_end, n));
    if (m_keep)
        rec->src.set_body(keep_body(std::move(body)));
    else
        give_back(std::move(body));
    return rec;
}

XF86ConfigHolder Parser::parse_file()
{
    XF86ConfigHolder tree(new XF86ConfigRec);
    Place& whole = tree->src.edit_place();
    whole.text = m_text;
    std::size_t lf = s.find('\n');
    whole.newline = (lf != std::string::npos && lf > 0 && s[lf - 1] == '\r') ? Newline::CRLF
                  : (lf == std::string::npos && s.find('\r') != std::string::npos) ? Newline::CR
                                                                                   : Newline::LF;
    try {
        std::size_t prev_tail = 0;
        for (;;) {
            Token t = get();
            if (t.kind == Tk::Eof)
                break;
            static const Kw section[] = {{"Section", 1}};
            if (t.kind != Tk::Word || lookup(section, t.text) != 1)
                bad_keyword(t);
            auto sec = parse_section(t);
            Place& place = sec->src.edit_place();
            place.fingerprint = section_fingerprint(*sec);
            place.pre = static_cast<std::uint32_t>(prev_tail);
            prev_tail = place.tail;
            index_section(*sec);
            tree->sections.push_back(std::move(sec));
        }
        tree->trailing_text = s.substr(prev_tail);
        whole.tail = static_cast<std::uint32_t>(prev_tail);
        validate();
    } catch (const Failure&) {
        return nullptr;
    }
    return tree;
}

std::unique_ptr<XF86SectionRec> Parser::parse_one(std::size_t offset)
{
    p = offset;
    try {
        Token t = get();
        if (t.kind != Tk::Word || xf86nameCompare(t.text, "Section") != 0)
            return nullptr;
        return parse_section(t);
    } catch (const Failure&) {
        return nullptr;
    }
}

}  // namespace cvx::xf86config::detail::parse

using cvx::xf86config::detail::parse::g_warnings;
using cvx::xf86config::detail::parse::Parser;

namespace cvx::xf86config::detail {

std::unique_ptr<XF86SectionRec> reparse_section(const std::shared_ptr<const std::string>& text, std::size_t offset,
                                                bool text_has_nul)
{
    Parser parser(text, "", true, true, text_has_nul);
    return parser.parse_one(offset);
}

XF86OptionalText read_section_comment(const std::shared_ptr<const std::string>& text, std::size_t offset,
                                      bool text_has_nul)
{
    Parser parser(text, "", true, false, text_has_nul);
    parser.copy_comments();
    auto sec = parser.parse_one(offset);
    return sec ? sec->given_comment() : XF86OptionalText();
}


}  // namespace cvx::xf86config::detail

namespace cvx::xf86config::detail {

std::string text_with_room(std::size_t size)
{
    std::string text;
    text.reserve(size);
    // Large room is faulted in by one call rather than by a trap per page as
    // it is first written: on a virtual machine a trap costs microseconds,
    // and a 14 MB file has 3 400 pages. Only a hint: failing costs the traps.
    constexpr std::size_t kPrefaultFrom = std::size_t{1} << 20;
    if (size >= kPrefaultFrom) {
        const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const auto at = reinterpret_cast<std::uintptr_t>(text.data());
        const std::uintptr_t b = (at + page - 1) & ~(page - 1), e = (at + size) & ~(page - 1);
        if (e > b)
            madvise(reinterpret_cast<void*>(b), e - b, MADV_POPULATE_WRITE);
    }
    return text;
}

XF86ConfigPtr parse_text(std::string text, const char* filename)
{
    g_warnings.clear();
    if (text.size() > kMaxTextSize) {
        ErrorF("The configuration text %s is too large.\n", filename ? filename : "(text)");
        return nullptr;
    }
    const bool has_nul = text.find('\0') != std::string::npos;
    auto shared = std::make_shared<const std::string>(std::move(text));
    Parser parser(shared, filename ? filename : "(text)", false, false, has_nul);
    return parser.parse_file().release();
}

}  // namespace cvx::xf86config::detail

XF86ConfigPtr xf86parseConfigText(std::string_view text, const char* filename)
{
    std::string copy = cvx::xf86config::detail::text_with_room(text.size());
    copy.append(text);
    return cvx::xf86config::detail::parse_text(std::move(copy), filename);
}

const std::vector<std::string>& xf86parseWarnings() { return g_warnings; }
