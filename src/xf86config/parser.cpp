// The tokeniser and the section parsers. They accept what the X server's own
// parser accepts (including its quirks) and record, besides the values, where
// every statement stands so that the writer can reproduce the text.
#include "xf86config/internal.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

using namespace cvx::xf86config::detail;

namespace {

enum class Tk { Eof, Str, Num, Comma, Dash, Word };

struct Token {
    Tk kind = Tk::Eof;
    std::size_t begin = 0, end = 0;
    int line = 1;
    std::string text;        // string contents, or the raw text of other tokens
};

struct Failure {};

struct Kw { std::string_view name; int id; };

// The word folded as the name comparison folds it, into `buf`; false when it
// is longer than any keyword.
bool fold(std::string_view word, char (&buf)[48], std::size_t& len)
{
    len = 0;
    for (char c : word) {
        if (c == '_' || c == ' ' || c == '\t')
            continue;
        if (len == sizeof buf)
            return false;
        buf[len++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return true;
}

bool folded_equals(const char* buf, std::size_t len, std::string_view name)
{
    // Keyword names hold no blanks or underscores.
    if (name.size() != len)
        return false;
    for (std::size_t i = 0; i < len; ++i) {
        char c = name[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != buf[i])
            return false;
    }
    return true;
}

template <std::size_t N>
int lookup(const Kw (&table)[N], std::string_view word)
{
    char buf[48];
    std::size_t len = 0;
    if (!fold(word, buf, len))
        return -1;
    for (const Kw& k : table)
        if (folded_equals(buf, len, k.name))
            return k.id;
    return -1;
}

int int_value(const std::string& t)
{
    // strtoul with automatic base, stored in an int as the server does.
    return static_cast<int>(std::strtoul(t.c_str(), nullptr, 0));
}

double real_value(const std::string& t)
{
    // atof without the locale: hex floating point after 0x, else decimal.
    double v = 0;
    const char* b = t.data();
    const char* e = b + t.size();
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        std::from_chars(b + 2, e, v, std::chars_format::hex);
    else
        std::from_chars(b, e, v, std::chars_format::general);
    return v;
}

int to_khz(double mhz) { return static_cast<int>(mhz * 1000.0 + 0.5); }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

const char* const kMsgEof = "Unexpected EOF. Missing EndSection keyword?";

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

std::vector<std::string> g_warnings;

class Parser {
public:
    Parser(std::shared_ptr<const std::string> text, std::string filename, bool quiet, bool keep, bool has_nul)
        : m_text(std::move(text)), s(*m_text), n(s.size()), m_file(std::move(filename)),
          m_quiet(quiet), m_keep(keep), m_has_nul(has_nul)
    {}

    XF86ConfigHolder parse_file();
    std::unique_ptr<XF86SectionRec> parse_one(std::size_t offset);

private:
    // ------------------------------------------------------------ lexer
    void norm()
    {
        // A NUL drops the rest of its physical line and joins the next one on.
        while (p < n && s[p] == '\0') {
            std::size_t q = s.find('\n', p);
            p = q == std::string::npos ? n : q + 1;
        }
    }
    int cur() { norm(); return p < n ? static_cast<unsigned char>(s[p]) : -1; }
    void adv() { if (s[p] == '\n') ++m_line; ++p; }
    int after_cur()
    {
        std::size_t save = p;
        int line = m_line;
        adv();
        int c = cur();
        p = save;
        m_line = line;
        return c;
    }

    Token lex();
    Token lex_fast();
    Token get(bool* forced = nullptr);
    void unget(Token t, bool force = false);
    int eof_line() const;

    // ------------------------------------------------------------ diagnostics
    [[noreturn]] void fail(int line, const std::string& msg);
    void warn(int line, const std::string& msg);
    [[noreturn]] void fail_data(int line, const XF86SectionRec& sec, const std::string& msg);
    // Where each reference the checks after parsing follow stands: the lines
    // of a list's statements in list order, by the list's address in the tree.
    void note_line(const void* list, int line) { m_ref_lines[list].push_back(line); }
    int line_of(const void* list, std::size_t index) const
    {
        auto it = m_ref_lines.find(list);
        return it != m_ref_lines.end() && index < it->second.size() ? it->second[index] : 0;
    }

    // ------------------------------------------------------------ helpers
    std::string need_str(const char* kw);
    std::string need_str_msg(const char* msg);
    int need_int(const char* kw);
    int need_int_msg(const char* msg);
    double need_real_msg(const char* msg);
    int add_item(Body& b, std::size_t begin, int group);
    SourceInfo* elem_info(const SourceInfo* owner, int item);
    std::optional<std::string> comment_after(std::size_t pos) const;
    std::size_t trail_scan(std::size_t pos, std::size_t limit) const;
    void finish_body(Body& b, std::size_t head_tok_end);
    std::optional<std::string> own_line_comments(const Body& b) const;
    [[noreturn]] void bad_keyword(const Token& t) { fail(t.line, quoted(t.text) + " is not a valid keyword in this section."); }

    void parse_option(Body& b, std::size_t begin, XF86OptionList& list, int group, const SourceInfo* owner);
    void parse_ranges(std::vector<XF86ConfRange>& v, const char* kw, std::size_t limit, const char* too_many);
    XF86ConfModeLineRec parse_modeline();
    XF86ConfModeLineRec parse_mode_block();

    std::unique_ptr<XF86SectionRec> parse_section(const Token& kw);
    void parse_device(XF86ConfDeviceRec& d, Body& b, SourceInfo* me);
    void parse_monitor(XF86ConfMonitorRec& m, Body& b, SourceInfo* me);
    void parse_screen(XF86ConfScreenRec& sc, Body& b, SourceInfo* me);
    void parse_display(XF86ConfDisplayRec& d, Body& b, SourceInfo* me);
    void parse_layout(XF86ConfLayoutRec& l, Body& b, SourceInfo* me);
    void parse_module(XF86ConfModuleRec& m, Body& b, SourceInfo* me);
    void parse_flags(XF86ConfFlagsRec& f, Body& b, SourceInfo* me);
    void parse_generic(XF86GenericSectionRec& g, Body& b, SourceInfo* me);
    void validate(XF86ConfigRec& tree);

    std::shared_ptr<const std::string> m_text;
    const std::string& s;
    std::size_t n;
    std::string m_file;
    bool m_quiet, m_keep;
    bool m_has_nul;   // NUL bytes need the slow, joining tokeniser

    std::size_t p = 0;
    int m_line = 1;
    Token m_pending;
    bool m_has_pending = false, m_pending_force = false;
    std::size_t m_last_end = 0, m_last_end_before = 0;
    std::optional<std::string> m_section;   // name of the last section opened, for messages

    // Facts the checks after parsing need and the tree does not hold.
    std::vector<std::pair<const XF86SectionRec*, int>> m_inputs_without_driver;   // with the Section line
    bool m_saw_pointer = false;
    int m_section_line = 0;                  // line of the last 'Section' keyword
    std::unordered_map<const void*, std::vector<int>> m_ref_lines;
};

// The tokeniser for text without NUL bytes: the same rules, whole runs at a time.
Token Parser::lex_fast()
{
    const char* d = s.data();
    for (;;) {
        while (p < n && (d[p] == ' ' || d[p] == '\t' || d[p] == '\r' || d[p] == '\n')) {
            if (d[p] == '\n')
                ++m_line;
            ++p;
        }
        if (p < n && d[p] == '#') {
            // A comment runs to the next LF or CR.
            const void* lf = std::memchr(d + p, '\n', n - p);
            std::size_t e = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - d) : n;
            const void* cr = std::memchr(d + p, '\r', e - p);
            p = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - d) : e;
            if (p < n) {
                if (d[p] == '\n')
                    ++m_line;
                ++p;
            }
            continue;
        }
        break;
    }
    Token t;
    t.begin = p;
    t.line = m_line;
    if (p >= n) {
        t.kind = Tk::Eof;
        t.begin = t.end = n;
        t.line = eof_line();
        return t;
    }
    const char c = d[p];
    std::size_t q = p;
    if (c == '"') {
        t.kind = Tk::Str;
        ++q;
        std::size_t e = q;
        while (e < n && d[e] != '"' && d[e] != '\n' && d[e] != '\r')
            ++e;
        t.text.assign(d + q, e - q);
        p = e < n && d[e] == '"' ? e + 1 : e;
    } else if (c >= '0' && c <= '9') {
        t.kind = Tk::Num;
        const bool hex = c == '0' && q + 1 < n && (d[q + 1] == 'x' || d[q + 1] == 'X');
        ++q;
        while (q < n) {
            char x = d[q];
            bool fits = (x >= '0' && x <= '9') || x == '.' || x == 'x' || x == 'X' ||
                        (hex && ((x >= 'a' && x <= 'f') || (x >= 'A' && x <= 'F')));
            if (!fits)
                break;
            ++q;
        }
        t.text.assign(d + p, q - p);
        p = q;
    } else if ((c == ',' || c == '-') && !(q + 1 < n && std::isalpha(static_cast<unsigned char>(d[q + 1])))) {
        t.kind = c == ',' ? Tk::Comma : Tk::Dash;
        t.text.assign(1, c);
        ++p;
    } else {
        t.kind = Tk::Word;
        while (q < n && d[q] != ' ' && d[q] != '\t' && d[q] != '\r' && d[q] != '\n' && d[q] != '#')
            ++q;
        t.text.assign(d + p, q - p);
        p = q;
    }
    t.end = p;
    return t;
}

Token Parser::lex()
{
    if (!m_has_nul)
        return lex_fast();
    for (;;) {
        int c = cur();
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            adv();
            continue;
        }
        if (c == '#') {
            adv();
            for (;;) {
                c = cur();
                if (c < 0)
                    break;
                adv();
                if (c == '\n' || c == '\r')
                    break;
            }
            continue;
        }
        break;
    }
    Token t;
    int c = cur();
    t.begin = p;
    t.line = m_line;
    if (c < 0) {
        t.kind = Tk::Eof;
        t.begin = t.end = n;
        t.line = eof_line();
        return t;
    }
    if (c == '"') {
        adv();
        t.kind = Tk::Str;
        for (;;) {
            c = cur();
            if (c < 0 || c == '\n' || c == '\r')
                break;      // an unterminated string ends with its line
            adv();
            if (c == '"')
                break;
            t.text.push_back(static_cast<char>(c));
        }
    } else if (c >= '0' && c <= '9') {
        t.kind = Tk::Num;
        t.text.push_back(static_cast<char>(c));
        adv();
        bool hex = false;
        if (c == '0') {
            int d = cur();
            hex = d == 'x' || d == 'X';
        }
        for (;;) {
            c = cur();
            if (c < 0)
                break;
            bool fits = (c >= '0' && c <= '9') || c == '.' || c == 'x' || c == 'X' ||
                        (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
            if (!fits)
                break;
            t.text.push_back(static_cast<char>(c));
            adv();
        }
    } else if ((c == ',' || c == '-') && !std::isalpha(after_cur())) {
        t.kind = c == ',' ? Tk::Comma : Tk::Dash;
        t.text.push_back(static_cast<char>(c));
        adv();
    } else {
        t.kind = Tk::Word;
        for (;;) {
            c = cur();
            if (c < 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#')
                break;
            t.text.push_back(static_cast<char>(c));
            adv();
        }
    }
    t.end = p;
    return t;
}

int Parser::eof_line() const
{
    int line = m_line;
    if (n > 0 && s[n - 1] == '\n' && line > 1)
        --line;
    return line;
}

Token Parser::get(bool* forced)
{
    Token t;
    bool f = false;
    if (m_has_pending) {
        t = std::move(m_pending);
        f = m_pending_force;
        m_has_pending = m_pending_force = false;
    } else {
        t = lex();
    }
    if (forced)
        *forced = f;
    m_last_end_before = m_last_end;
    if (t.kind != Tk::Eof)
        m_last_end = t.end;
    return t;
}

void Parser::unget(Token t, bool force)
{
    m_last_end = m_last_end_before;
    m_pending = std::move(t);
    m_has_pending = true;
    m_pending_force = force;
}

void Parser::fail(int line, const std::string& msg)
{
    if (!m_quiet)
        ErrorF("Parse error on line %d of section %s in file %s\n\t%s\n", line,
               m_section ? m_section->c_str() : "(null)", m_file.c_str(), msg.c_str());
    throw Failure{};
}

void Parser::warn(int line, const std::string& msg)
{
    if (m_quiet)
        return;
    ErrorF("Parse error on line %d of section %s in file %s\n\t%s\n", line,
           m_section ? m_section->c_str() : "(null)", m_file.c_str(), msg.c_str());
    std::string flat = msg;
    for (char& ch : flat)
        if (ch == '\n' || ch == '\t')
            ch = ' ';
    g_warnings.push_back(m_file + ": line " + std::to_string(line) + ": " + flat);
}

void Parser::fail_data(int line, const XF86SectionRec& sec, const std::string& msg)
{
    if (!m_quiet)
        ErrorF("Data incomplete on line %d of section %s in file %s\n\t%s\n", line, sec.section_name.c_str(),
               m_file.c_str(), msg.c_str());
    throw Failure{};
}

std::string Parser::need_str_msg(const char* msg)
{
    Token t = get();
    if (t.kind != Tk::Str)
        fail(t.line, msg);
    return std::move(t.text);
}

std::string Parser::need_str(const char* kw)
{
    Token t = get();
    if (t.kind != Tk::Str)
        fail(t.line, std::string("The ") + kw + " keyword requires a quoted string to follow it.");
    return std::move(t.text);
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

int Parser::add_item(Body& b, std::size_t begin, int group)
{
    Item it;
    it.begin = begin;
    it.end = std::max(begin, m_last_end);
    it.group = group;
    b.items.push_back(it);
    return static_cast<int>(b.items.size()) - 1;
}

SourceInfo* Parser::elem_info(const SourceInfo* owner, int item)
{
    auto* info = new SourceInfo;
    info->owner = owner;
    info->item = item;
    return info;
}

std::optional<std::string> Parser::comment_after(std::size_t pos) const
{
    std::size_t q = pos;
    while (q < n && (s[q] == ' ' || s[q] == '\t'))
        ++q;
    if (q >= n || s[q] != '#')
        return std::nullopt;
    std::size_t e = q;
    while (e < n && s[e] != '\n' && s[e] != '\r') {
        if (s[e] == '\0')
            return std::nullopt;    // the line goes on past the NUL: not a plain comment
        ++e;
    }
    return s.substr(q, e - q);
}

std::size_t Parser::trail_scan(std::size_t pos, std::size_t limit) const
{
    std::size_t q = pos;
    while (q < limit && (s[q] == ' ' || s[q] == '\t'))
        ++q;
    if (q < limit && s[q] == '#') {
        while (q < limit && s[q] != '\n' && s[q] != '\r') {
            if (s[q] == '\0')
                return pos;
            ++q;
        }
    }
    if (q >= limit)
        return limit == n && q == n ? q : pos;
    if (s[q] == '\r') {
        ++q;
        if (q < limit && s[q] == '\n')
            ++q;
        return q;
    }
    if (s[q] == '\n')
        return q + 1;
    return pos;
}

void Parser::finish_body(Body& b, std::size_t head_tok_end)
{
    std::size_t first = b.items.empty() ? b.end_begin : b.items.front().begin;
    b.head_end = trail_scan(head_tok_end, first);
    std::size_t prev = b.head_end;
    for (std::size_t i = 0; i < b.items.size(); ++i) {
        Item& it = b.items[i];
        it.lead = prev;
        std::size_t limit = i + 1 < b.items.size() ? b.items[i + 1].begin : b.end_begin;
        it.trail = std::max(it.end, std::min(trail_scan(it.end, limit), limit));
        prev = it.trail;
    }
    b.end_lead = prev;
}

std::optional<std::string> Parser::own_line_comments(const Body& b) const
{
    // Comment lines standing on their own inside the body, joined by '\n'.
    // A body with NUL bytes joins lines the server's way; its comments are
    // not modelled, so that they stay exactly as they are (see the writer).
    if (b.end_begin > b.head_end && std::memchr(s.data() + b.head_end, '\0', b.end_begin - b.head_end))
        return std::nullopt;
    std::string acc;
    auto scan = [&](std::size_t from, std::size_t to) {
        if (to <= from || std::memchr(s.data() + from, '#', to - from) == nullptr)
            return;
        std::size_t q = from;
        while (q < to) {
            std::size_t eol = q;
            while (eol < to && s[eol] != '\n' && s[eol] != '\r')
                ++eol;
            std::size_t k = q;
            while (k < eol && (s[k] == ' ' || s[k] == '\t'))
                ++k;
            if (k < eol && s[k] == '#') {
                if (!acc.empty())
                    acc.push_back('\n');
                acc.append(s, k, eol - k);
            }
            q = eol;
            if (q < to && s[q] == '\r')
                ++q;
            if (q < to && s[q] == '\n')
                ++q;
        }
    };
    for (const Item& it : b.items)
        scan(it.lead, it.begin);
    scan(b.end_lead, b.end_begin);
    if (acc.empty())
        return std::nullopt;
    return acc;
}

// ---------------------------------------------------------------- statements

void Parser::parse_option(Body& b, std::size_t begin, XF86OptionList& list, int group, const SourceInfo* owner)
{
    Token name = get();
    if (name.kind != Tk::Str) {
        // Not fatal for the server: it logs the problem and drops the token.
        warn(name.line, "The Option keyword requires 1 or 2 quoted strings to follow it.");
        add_item(b, begin, G_KEEP);
        return;
    }
    XF86OptionRec o;
    o.name = std::move(name.text);
    Token v = get();
    if (v.kind == Tk::Str)
        o.value = std::move(v.text);
    else
        unget(std::move(v));
    o.comment = comment_after(m_last_end);
    int idx = add_item(b, begin, group);
    o.src.reset(elem_info(owner, idx));
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

// ---------------------------------------------------------------- sections

void Parser::parse_device(XF86ConfDeviceRec& d, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Driver", 2}, {"VendorName", 3}, {"BoardName", 4},
        {"Chipset", 5}, {"Ramdac", 6}, {"ClockChip", 7}, {"BusID", 8}, {"MatchSeat", 9},
        {"Card", 10}, {"DacSpeed", 11}, {"Clocks", 12}, {"VideoRam", 13}, {"MemBase", 14},
        {"IOBase", 15}, {"BiosBase", 16}, {"ChipID", 17}, {"ChipRev", 18}, {"IRQ", 19},
        {"Screen", 20}, {"Option", 21},
    };
    bool have_id = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        if (forced && t.kind != Tk::Word && id >= 0)
            b.glued.push_back({b.items.size(), t.end, t.text});
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            if (!have_id)
                fail(t.line, "This section must have an Identifier line.");
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
            if (have_id)
                fail(t.line, "Multiple \"Identifier\" lines.");
            d.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, DV_IDENT);
            break;
        case 2: d.driver = need_str("Driver"); add_item(b, begin, DV_DRIVER); break;
        case 3: d.vendor = need_str("Vendor"); add_item(b, begin, DV_VENDOR); break;
        case 4: d.board = need_str("Board"); add_item(b, begin, DV_BOARD); break;
        case 5: d.chipset = need_str("Chipset"); add_item(b, begin, DV_CHIPSET); break;
        case 6: d.ramdac = need_str("Ramdac"); add_item(b, begin, DV_RAMDAC); break;
        case 7: d.clockchip = need_str("ClockChip"); add_item(b, begin, DV_CLOCKCHIP); break;
        case 8: d.busid = need_str("BusID"); add_item(b, begin, DV_BUSID); break;
        case 9: need_str("MatchSeat"); add_item(b, begin, G_KEEP); break;
        case 10: d.card = need_str("Card"); add_item(b, begin, DV_CARD); break;
        case 11: {
            Token v = get();
            if (v.kind != Tk::Num)
                fail(v.line, "The DacSpeed keyword must be followed by a list of up to 4 numbers.");
            for (int& x : d.dacSpeeds)
                x = 0;
            d.dacSpeeds[0] = to_khz(real_value(v.text));
            for (int i = 1; i < 4; ++i) {
                Token u = get();
                if (u.kind != Tk::Num) {
                    unget(std::move(u), true);   // the server's push-back quirk
                    break;
                }
                d.dacSpeeds[i] = to_khz(real_value(u.text));
            }
            add_item(b, begin, DV_DACSPEED);
            break;
        }
        case 12:
            for (;;) {
                Token u = get();
                if (u.kind != Tk::Num || d.clocks.size() >= 128) {
                    unget(std::move(u));
                    break;
                }
                d.clocks.push_back(to_khz(real_value(u.text)));
            }
            add_item(b, begin, DV_CLOCKS);
            break;
        case 13: d.videoram = need_int("VideoRam"); add_item(b, begin, DV_VIDEORAM); break;
        case 14:
            d.mem_base = static_cast<unsigned long>(static_cast<long>(need_int("MemBase")));
            add_item(b, begin, DV_MEMBASE);
            break;
        case 15:
            d.io_base = static_cast<unsigned long>(static_cast<long>(need_int("IOBase")));
            add_item(b, begin, DV_IOBASE);
            break;
        case 16:
            d.bios_base = static_cast<unsigned long>(static_cast<long>(need_int("BIOSBase")));
            add_item(b, begin, DV_BIOSBASE);
            break;
        case 17: d.chipid = need_int("ChipID"); add_item(b, begin, DV_CHIPID); break;
        case 18: d.chiprev = need_int("ChipRev"); add_item(b, begin, DV_CHIPREV); break;
        case 19:
            d.irq = need_int_msg("The IRQ keyword requires a quoted string to follow it.");
            add_item(b, begin, DV_IRQ);
            break;
        case 20: d.screen = need_int("Screen"); add_item(b, begin, DV_SCREEN); break;
        case 21: parse_option(b, begin, d.options, DV_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_monitor(XF86ConfMonitorRec& m, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"VendorName", 2}, {"ModelName", 3},
        {"HorizSync", 4}, {"VertRefresh", 5}, {"DisplaySize", 6}, {"Gamma", 7},
        {"UseModes", 8}, {"ModeLine", 9}, {"Mode", 10}, {"Option", 11},
    };
    bool have_id = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        if (forced && t.kind != Tk::Word && id >= 0)
            b.glued.push_back({b.items.size(), t.end, t.text});
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            if (!have_id)
                fail(t.line, "This section must have an Identifier line.");
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
            if (have_id)
                fail(t.line, "Multiple \"Identifier\" lines.");
            m.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, MN_IDENT);
            break;
        case 2: m.vendor = need_str("Vendor"); add_item(b, begin, MN_VENDOR); break;
        case 3: m.model = need_str("ModelName"); add_item(b, begin, MN_MODEL); break;
        case 4:
            parse_ranges(m.hsync, "HorizSync", 8, "Sorry. Too many horizontal sync intervals.");
            add_item(b, begin, MN_HSYNC);
            break;
        case 5:
            parse_ranges(m.vrefresh, "VertRefresh", 9, "Sorry. Too many vertical refresh intervals.");
            add_item(b, begin, MN_VREFRESH);
            break;
        case 6: {
            const char* msg = "The DisplaySize keyword must be followed by the width and height in mm.";
            m.width = static_cast<int>(need_real_msg(msg));
            m.height = static_cast<int>(need_real_msg(msg));
            add_item(b, begin, MN_DISPLAYSIZE);
            break;
        }
        case 7: {
            const char* msg = "gamma correction value(s) expected\n either one value or three r/g/b values.";
            double r = need_real_msg(msg);
            Token u = get();
            if (u.kind == Tk::Num) {
                double g = real_value(u.text);
                double bl = need_real_msg(msg);
                m.gamma_red = static_cast<float>(r);
                m.gamma_green = static_cast<float>(g);
                m.gamma_blue = static_cast<float>(bl);
            } else {
                unget(std::move(u), true);   // the server's push-back quirk
                m.gamma_red = m.gamma_green = m.gamma_blue = static_cast<float>(r);
            }
            add_item(b, begin, MN_GAMMA);
            break;
        }
        case 8:
            m.usemodes.push_back(need_str("UseModes"));
            note_line(&m.usemodes, t.line);
            add_item(b, begin, MN_USEMODES);
            break;
        case 9:
        case 10: {
            XF86ConfModeLineRec ml = id == 9 ? parse_modeline() : parse_mode_block();
            ml.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, MN_MODELINES);
            ml.src.reset(elem_info(me, idx));
            m.modelines.push_back(std::move(ml));
            break;
        }
        case 11: parse_option(b, begin, m.options, MN_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_display(XF86ConfDisplayRec& d, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSubSection", 0}, {"Depth", 1}, {"FbBPP", 2}, {"Visual", 3}, {"Modes", 4},
        {"Virtual", 5}, {"ViewPort", 6}, {"Weight", 7}, {"Black", 8}, {"White", 9}, {"Option", 10},
    };
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1: d.depth = need_int("Display"); add_item(b, begin, DS_DEPTH); break;
        case 2: d.bpp = need_int("Display"); add_item(b, begin, DS_FBBPP); break;
        case 3: d.visual = need_str("Display"); add_item(b, begin, DS_VISUAL); break;
        case 4:
            for (;;) {
                Token u = get();
                if (u.kind != Tk::Str) {
                    unget(std::move(u));
                    break;
                }
                d.modes.push_back(std::move(u.text));
            }
            add_item(b, begin, DS_MODES);
            break;
        case 5: {
            const char* msg = "The Virtual keyword must be followed by a width and height value.";
            d.virtual_x = need_int_msg(msg);
            d.virtual_y = need_int_msg(msg);
            add_item(b, begin, DS_VIRTUAL);
            break;
        }
        case 6: {
            const char* msg = "The Viewport keyword must be followed by an X and Y value.";
            d.frame_x0 = need_int_msg(msg);
            d.frame_y0 = need_int_msg(msg);
            add_item(b, begin, DS_VIEWPORT);
            break;
        }
        case 7:
        case 8:
        case 9: {
            static const char* const msgs[] = {
                "The Weight keyword must be followed by red, green and blue values.",
                "The Black keyword must be followed by red, green and blue values.",
                "The White keyword must be followed by red, green and blue values.",
            };
            const char* msg = msgs[id - 7];
            int r = need_int_msg(msg), g = need_int_msg(msg), bl = need_int_msg(msg);
            if (id == 7) { d.weight_red = r; d.weight_green = g; d.weight_blue = bl; }
            if (id == 8) { d.black_red = r; d.black_green = g; d.black_blue = bl; }
            if (id == 9) { d.white_red = r; d.white_green = g; d.white_blue = bl; }
            add_item(b, begin, id == 7 ? DS_WEIGHT : id == 8 ? DS_BLACK : DS_WHITE);
            break;
        }
        case 10: parse_option(b, begin, d.options, DS_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_screen(XF86ConfScreenRec& sc, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Driver", 2}, {"Device", 3}, {"GPUDevice", 4},
        {"Monitor", 5}, {"VideoAdaptor", 6}, {"DefaultDepth", 7}, {"DefaultColorDepth", 7},
        {"DefaultBPP", 8}, {"DefaultFbBPP", 9}, {"Virtual", 10}, {"MatchSeat", 11},
        {"Option", 12}, {"SubSection", 13},
    };
    bool have_id = false;
    int gpus = 0;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            if (!have_id)
                fail(t.line, "This section must have an Identifier line.");
            if (sc.obsolete_driver)
                sc.identifier = *sc.obsolete_driver;   // a Driver-only screen goes by that name
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
        case 2:
            if (have_id)
                fail(t.line, "This section must have only one of either Identifier or Driver line.");
            if (id == 1)
                sc.identifier = need_str("Identifier");
            else
                sc.obsolete_driver = need_str("Driver");
            have_id = true;
            add_item(b, begin, SC_IDENT);
            break;
        case 3: sc.device_name = need_str("Device"); add_item(b, begin, SC_DEVICE); break;
        case 4:
            need_str("GPUDevice");
            if (++gpus > 4)
                fail(t.line, "More than 4 GPU devices defined.");
            add_item(b, begin, G_KEEP);
            break;
        case 5: sc.monitor_name = need_str("Monitor"); add_item(b, begin, SC_MONITOR); break;
        case 6: {
            std::string a = need_str("VideoAdaptor");
            bool dup = false;
            for (const std::string& x : sc.adaptors)
                dup = dup || xf86nameCompare(x, a) == 0;
            if (!dup) {
                sc.adaptors.push_back(std::move(a));
                note_line(&sc.adaptors, t.line);
            }
            add_item(b, begin, SC_ADAPTORS);
            break;
        }
        case 7: sc.defaultdepth = need_int("DefaultDepth"); add_item(b, begin, SC_DEPTH); break;
        case 8: sc.defaultbpp = need_int("DefaultBPP"); add_item(b, begin, SC_BPP); break;
        case 9: sc.defaultfbbpp = need_int("DefaultFbBPP"); add_item(b, begin, SC_FBBPP); break;
        case 10: {
            const char* msg = "The Virtual keyword must be followed by a width and height value.";
            need_int_msg(msg);
            need_int_msg(msg);
            add_item(b, begin, G_KEEP);
            break;
        }
        case 11: need_str("MatchSeat"); add_item(b, begin, G_KEEP); break;
        case 12: parse_option(b, begin, sc.options, SC_OPTIONS, me); break;
        case 13: {
            Token name = get();
            if (name.kind != Tk::Str)
                fail(name.line, "The SubSection keyword requires a quoted string to follow it.");
            XF86ConfDisplayRec d;
            auto* info = elem_info(me, -1);
            d.src.reset(info);
            Body sub;
            sub.head_begin = begin;
            parse_display(d, sub, info);
            finish_body(sub, name.end);
            d.comment = own_line_comments(sub);
            info->item = add_item(b, begin, SC_DISPLAYS);
            if (m_keep)
                info->body = std::make_unique<Body>(std::move(sub));
            sc.displays.push_back(std::move(d));
            break;
        }
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_layout(XF86ConfLayoutRec& l, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Screen", 2}, {"InputDevice", 3},
        {"Inactive", 4}, {"MatchSeat", 5}, {"Option", 6},
    };
    static const Kw where[] = {
        {"RightOf", CONF_ADJ_RIGHTOF}, {"LeftOf", CONF_ADJ_LEFTOF}, {"Above", CONF_ADJ_ABOVE},
        {"Below", CONF_ADJ_BELOW}, {"Relative", CONF_ADJ_RELATIVE}, {"Absolute", CONF_ADJ_ABSOLUTE},
    };
    bool have_id = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            if (!have_id)
                fail(t.line, "This section must have an Identifier line.");
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
            if (have_id)
                fail(t.line, "Multiple \"Identifier\" lines.");
            l.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, LY_IDENT);
            break;
        case 2: {
            const char* msg = "The Screen keyword must be followed by an optional number, a screen name\n"
                              "\tin quotes, and optional position/layout information.";
            const char* invalid = "Invalid Screen line.";
            XF86ConfAdjacencyRec a;
            Token u = get();
            if (u.kind == Tk::Num) {
                a.scrnum = int_value(u.text);
                u = get();
            }
            if (u.kind != Tk::Str)
                fail(u.line, msg);
            a.screen_name = std::move(u.text);
            Token pos = get();
            int w = pos.kind == Tk::Word ? lookup(where, pos.text) : -2;
            if (pos.kind == Tk::Word && w >= CONF_ADJ_RIGHTOF && w <= CONF_ADJ_RELATIVE) {
                a.where = w;
                a.refscreen = need_str_msg(invalid);
                if (w == CONF_ADJ_RELATIVE) {
                    a.x = need_int_msg(invalid);
                    a.y = need_int_msg(invalid);
                    a.has_position = true;
                }
            } else if (pos.kind == Tk::Word && w == CONF_ADJ_ABSOLUTE) {
                a.x = need_int_msg(invalid);
                a.y = need_int_msg(invalid);
                a.has_position = true;
            } else if (pos.kind == Tk::Num) {
                a.x = int_value(pos.text);
                a.y = need_int_msg(invalid);
                a.has_position = true;
            } else if (pos.kind == Tk::Str) {
                a.where = CONF_ADJ_OBSOLETE;
                a.top = std::move(pos.text);
                a.bottom = need_str_msg(msg);
                a.left = need_str_msg(msg);
                a.right = need_str_msg(msg);
            } else {
                unget(std::move(pos));
            }
            a.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, LY_SCREENS);
            a.src.reset(elem_info(me, idx));
            l.adjacencies.push_back(std::move(a));
            note_line(&l.adjacencies, t.line);
            break;
        }
        case 3: {
            XF86ConfInputrefRec r;
            r.name = need_str_msg("The InputDevice keyword must be followed by an input device name in quotes.");
            for (;;) {
                Token u = get();
                if (u.kind != Tk::Str) {
                    unget(std::move(u));
                    break;
                }
                r.options.push_back(std::move(u.text));
            }
            r.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, LY_INPUTS);
            r.src.reset(elem_info(me, idx));
            l.inputs.push_back(std::move(r));
            note_line(&l.inputs, t.line);
            break;
        }
        case 4: {
            XF86ConfInactiveRec r;
            r.device_name = need_str_msg("The Inactive keyword must be followed by a Device name in quotes.");
            r.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, LY_INACTIVE);
            r.src.reset(elem_info(me, idx));
            l.inactives.push_back(std::move(r));
            note_line(&l.inactives, t.line);
            break;
        }
        case 5: need_str("MatchSeat"); add_item(b, begin, G_KEEP); break;
        case 6: parse_option(b, begin, l.options, LY_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_module(XF86ConfModuleRec& m, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Load", 1}, {"LoadDriver", 2}, {"Disable", 3}, {"SubSection", 4},
    };
    static const Kw sub_table[] = {{"EndSubSection", 0}, {"Option", 1}};
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        if (id == 0) {
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        }
        if (id < 0)
            bad_keyword(t);
        XF86LoadRec load;
        auto* info = elem_info(me, -1);
        load.src.reset(info);
        if (id <= 3) {
            load.type = id == 1 ? XF86_LOAD_MODULE : id == 2 ? XF86_LOAD_DRIVER : XF86_DISABLE_MODULE;
            load.name = need_str(id == 1 ? "Load" : id == 2 ? "LoadDriver" : "Disable");
        } else {
            load.name = need_str("SubSection");
            load.is_subsection = true;
            Body sub;
            bool broken = false;
            for (;;) {
                Token u = get();
                int sid = u.kind == Tk::Word ? lookup(sub_table, u.text) : -1;
                if (u.kind == Tk::Eof) {
                    warn(u.line, kMsgEof);
                    fail(u.line, kMsgEof);
                }
                if (sid == 0)
                    break;
                if (sid == 1) {
                    parse_option(sub, u.begin, load.options, LS_OPTIONS, info);
                    continue;
                }
                // Not fatal for the server: it drops the subsection and goes on
                // in the Module section with the next token.
                warn(u.line, quoted(u.text) + " is not a valid keyword in this section.");
                broken = true;
                break;
            }
            if (broken) {
                add_item(b, begin, G_KEEP);
                continue;
            }
        }
        load.comment = comment_after(m_last_end);
        info->item = add_item(b, begin, MD_LOADS);
        m.loads.push_back(std::move(load));
    }
}

void Parser::parse_flags(XF86ConfFlagsRec& f, Body& b, SourceInfo* me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Option", 1}, {"DontZap", 2}, {"DontZoom", 3},
        {"DisableVidModeExtension", 4}, {"AllowNonLocalXvidtune", 5}, {"DisableModInDev", 6},
        {"AllowNonLocalModInDev", 7}, {"AllowMouseOpenFail", 8}, {"BlankTime", 9},
        {"StandbyTime", 10}, {"SuspendTime", 11}, {"OffTime", 12}, {"DefaultServerLayout", 13},
    };
    static const char* const names[] = {
        "", "", "dontzap", "dontzoom", "disablevidmodeextension", "allownonlocalxvidtune",
        "disablemodindev", "allownonlocalmodindev", "allowmouseopenfail", "blanktime",
        "standbytime", "suspendtime", "offtime", "defaultserverlayout",
    };
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        if (id == 0) {
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        }
        if (id == 1) {
            parse_option(b, begin, f.options, FL_OPTIONS, me);
            continue;
        }
        if (id < 0)
            bad_keyword(t);
        // Legacy keywords become options that replace one of the same name in place.
        std::optional<std::string> value;
        if (id >= 9 && id <= 12)
            value = std::to_string(need_int(names[id]));
        else if (id == 13)
            value = need_str("DefaultServerLayout");
        if (XF86OptionRec* old = xf86findOption(f.options, names[id])) {
            old->value = std::move(value);
            add_item(b, begin, G_KEEP);
        } else {
            XF86OptionRec o;
            o.name = names[id];
            o.value = std::move(value);
            o.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, FL_OPTIONS);
            o.src.reset(elem_info(me, idx));
            f.options.push_back(std::move(o));
        }
    }
}

bool is_bool_word(const std::string& v)
{
    static const char* const words[] = {"1", "on", "true", "yes", "0", "off", "false", "no"};
    if (v.empty())
        return true;
    for (const char* w : words)
        if (xf86nameCompare(v, w) == 0)
            return true;
    return false;
}

void Parser::parse_generic(XF86GenericSectionRec& g, Body& b, SourceInfo* me)
{
    // Keyword ids: 0 end, 1 Identifier, 2 Option, 3 one string, 4 obsolete
    // (swallows a token), 5 boolean string, 6 one number, 7 SubSection,
    // 8 ModeLine, 9 Mode block, 10 DRI Group, 11 DRI Mode, 12 no argument,
    // 13 Pointer number, 14 ZAxisMapping.
    static const Kw files[] = {
        {"EndSection", 0}, {"FontPath", 3}, {"ModulePath", 3}, {"LogFile", 3}, {"XkbDir", 3},
        {"RgbPath", 4}, {"InputDevices", 4},
    };
    static const Kw extensions[] = {{"EndSection", 0}, {"Option", 2}};
    static const Kw input[] = {{"EndSection", 0}, {"Identifier", 1}, {"Driver", 3}, {"Option", 2}};
    static const Kw inputclass[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Driver", 3}, {"Option", 2},
        {"MatchProduct", 3}, {"MatchVendor", 3}, {"MatchDevicePath", 3}, {"MatchOS", 3},
        {"MatchPnPID", 3}, {"MatchUSBID", 3}, {"MatchDriver", 3}, {"MatchTag", 3},
        {"MatchLayout", 3}, {"NoMatchProduct", 3}, {"NoMatchVendor", 3},
        {"NoMatchDevicePath", 3}, {"NoMatchOS", 3}, {"NoMatchPnPID", 3}, {"NoMatchUSBID", 3},
        {"NoMatchDriver", 3}, {"NoMatchTag", 3}, {"NoMatchLayout", 3},
        {"MatchIsKeyboard", 5}, {"MatchIsPointer", 5}, {"MatchIsJoystick", 5},
        {"MatchIsTablet", 5}, {"MatchIsTabletPad", 5}, {"MatchIsTouchpad", 5},
        {"MatchIsTouchscreen", 5},
    };
    static const Kw outputclass[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Driver", 3}, {"ModulePath", 3}, {"Option", 2},
        {"MatchDriver", 3},
    };
    static const Kw adaptor[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"VendorName", 3}, {"BoardName", 3}, {"BusID", 3},
        {"Driver", 3}, {"Option", 2}, {"SubSection", 7},
    };
    static const Kw modes[] = {{"EndSection", 0}, {"Identifier", 1}, {"ModeLine", 8}, {"Mode", 9}};
    static const Kw dri[] = {{"EndSection", 0}, {"Group", 10}, {"Mode", 11}};
    static const Kw vendor[] = {{"EndSection", 0}, {"Identifier", 1}, {"Option", 2}, {"SubSection", 7}};
    static const Kw pointer[] = {
        {"EndSection", 0}, {"Protocol", 3}, {"Device", 3}, {"Port", 3}, {"Emulate3Buttons", 12},
        {"ChordMiddle", 12}, {"ClearDTR", 12}, {"ClearRTS", 12}, {"AlwaysCore", 12},
        {"Emulate3Timeout", 13}, {"Buttons", 13}, {"BaudRate", 13}, {"SampleRate", 13},
        {"Resolution", 13}, {"ZAxisMapping", 14},
    };
    struct Table { const Kw* kw; std::size_t size; };
    auto pick = [&]() -> Table {
        switch (g.kind) {
        case XF86SectionKind::Files: return {files, std::size(files)};
        case XF86SectionKind::Extensions: return {extensions, std::size(extensions)};
        case XF86SectionKind::InputDevice: return {input, std::size(input)};
        case XF86SectionKind::InputClass: return {inputclass, std::size(inputclass)};
        case XF86SectionKind::OutputClass: return {outputclass, std::size(outputclass)};
        case XF86SectionKind::VideoAdaptor: return {adaptor, std::size(adaptor)};
        case XF86SectionKind::Modes: return {modes, std::size(modes)};
        case XF86SectionKind::DRI: return {dri, std::size(dri)};
        case XF86SectionKind::Vendor: return {vendor, std::size(vendor)};
        default: return {pointer, std::size(pointer)};
        }
    };
    const Table table = pick();
    auto find = [&](std::string_view word) {
        char buf[48];
        std::size_t len = 0;
        if (fold(word, buf, len))
            for (std::size_t i = 0; i < table.size; ++i)
                if (folded_equals(buf, len, table.kw[i].name))
                    return i;
        return table.size;
    };
    const bool needs_id = kind_has_identifier(g.kind);
    bool have_id = false, have_driver = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof) {
            if (g.kind == XF86SectionKind::Modes)
                fail(t.line, "\"\" is not a valid keyword in this section.");
            fail(t.line, kMsgEof);
        }
        std::size_t k = (t.kind == Tk::Word || forced) ? find(t.text) : table.size;
        if (k == table.size)
            bad_keyword(t);
        const std::string kwname(table.kw[k].name);
        std::size_t begin = t.begin;
        switch (table.kw[k].id) {
        case 0:
            if (needs_id && !have_id)
                fail(t.line, "This section must have an Identifier line.");
            if (g.kind == XF86SectionKind::InputDevice && !have_driver)
                m_inputs_without_driver.emplace_back(&g, m_section_line);
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
            if (have_id)
                fail(t.line, "Multiple \"Identifier\" lines.");
            g.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, GN_IDENT);
            break;
        case 2: parse_option(b, begin, g.options, GN_OPTIONS, me); break;
        case 3:
            need_str(kwname.c_str());
            if (kwname == "Driver")
                have_driver = true;
            add_item(b, begin, G_KEEP);
            break;
        case 4:
            warn(t.line, std::string("Ignoring obsolete keyword \"") + kwname + "\".");
            get();   // the server swallows the next token, whatever it is
            add_item(b, begin, G_KEEP);
            break;
        case 5: {
            std::string v = need_str(kwname.c_str());
            if (!is_bool_word(v))
                fail(t.line, std::string("The ") + kwname + " keyword requires a boolean to follow it.");
            add_item(b, begin, G_KEEP);
            break;
        }
        case 7: {
            need_str("SubSection");
            bool sub_id = false;
            for (;;) {
                Token u = get();
                if (u.kind == Tk::Eof)
                    fail(u.line, kMsgEof);
                std::string_view w = u.kind == Tk::Word ? std::string_view(u.text) : std::string_view();
                if (u.kind == Tk::Word && xf86nameCompare(w, "EndSubSection") == 0)
                    break;
                if (u.kind == Tk::Word && xf86nameCompare(w, "Option") == 0) {
                    XF86OptionList ignored;
                    Body scratch;
                    parse_option(scratch, u.begin, ignored, G_KEEP, nullptr);
                    continue;
                }
                if (u.kind == Tk::Word && xf86nameCompare(w, "Identifier") == 0) {
                    if (g.kind == XF86SectionKind::Vendor)
                        fail(u.line, "The Identifier keyword requires a quoted string to follow it.");
                    if (sub_id)
                        fail(u.line, "Multiple \"Identifier\" lines.");
                    need_str("Identifier");
                    sub_id = true;
                    continue;
                }
                bad_keyword(u);
            }
            add_item(b, begin, G_KEEP);
            break;
        }
        case 8: parse_modeline(); add_item(b, begin, G_KEEP); break;
        case 9: parse_mode_block(); add_item(b, begin, G_KEEP); break;
        case 10: {
            Token u = get();
            if (u.kind != Tk::Str && u.kind != Tk::Num)
                fail(u.line, "The Group keyword must be followed by either a group name in quotes or\n"
                             "\ta numerical group id.");
            add_item(b, begin, G_KEEP);
            break;
        }
        case 11: {
            Token u = get();
            if (u.kind != Tk::Num)
                fail(u.line, "The Mode keyword requires a number to follow it.");
            bool octal = u.text[0] == '0' && (u.text.size() < 2 || (u.text[1] != 'x' && u.text[1] != 'X'));
            if (!octal)
                fail(u.line, "The number \"" + std::to_string(int_value(u.text)) +
                                 "\" given in this section must be in octal (0xxx) format.");
            add_item(b, begin, G_KEEP);
            break;
        }
        case 12: add_item(b, begin, G_KEEP); break;
        case 13:
            if (get().kind != Tk::Num)
                fail(t.line, std::string("The ") + kwname + " keyword requires a positive integer to follow it.");
            add_item(b, begin, G_KEEP);
            break;
        case 14: {
            const char* msg = "The ZAxisMapping keyword requires 2 positive numbers or X or Y to follow it.";
            Token u = get();
            if (u.kind == Tk::Num) {
                need_int_msg(msg);
            } else if (!(u.kind == Tk::Word && (xf86nameCompare(u.text, "X") == 0 ||
                                                 xf86nameCompare(u.text, "Y") == 0))) {
                fail(u.line, msg);
            }
            add_item(b, begin, G_KEEP);
            break;
        }
        default: bad_keyword(t);
        }
    }
}

std::unique_ptr<XF86SectionRec> Parser::parse_section(const Token& kw)
{
    Token name = get();
    if (name.kind != Tk::Str)
        fail(name.line, "The Section keyword requires a quoted string to follow it.");
    m_section = name.text;
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
    auto* info = new SourceInfo;
    info->text = m_text;
    info->text_has_nul = m_has_nul;
    info->begin = kw.begin;
    Body body;
    body.head_begin = kw.begin;
    body.items.reserve(8);
    switch (*kind) {
    case XF86SectionKind::Device: {
        auto d = std::make_unique<XF86ConfDeviceRec>();
        d->src.reset(info);
        parse_device(*d, body, info);
        rec = std::move(d);
        break;
    }
    case XF86SectionKind::Monitor: {
        auto m = std::make_unique<XF86ConfMonitorRec>();
        m->src.reset(info);
        parse_monitor(*m, body, info);
        rec = std::move(m);
        break;
    }
    case XF86SectionKind::Screen: {
        auto sc = std::make_unique<XF86ConfScreenRec>();
        sc->src.reset(info);
        parse_screen(*sc, body, info);
        rec = std::move(sc);
        break;
    }
    case XF86SectionKind::ServerLayout: {
        auto l = std::make_unique<XF86ConfLayoutRec>();
        l->src.reset(info);
        parse_layout(*l, body, info);
        rec = std::move(l);
        break;
    }
    case XF86SectionKind::Module: {
        auto m = std::make_unique<XF86ConfModuleRec>();
        m->src.reset(info);
        parse_module(*m, body, info);
        rec = std::move(m);
        break;
    }
    case XF86SectionKind::ServerFlags: {
        auto f = std::make_unique<XF86ConfFlagsRec>();
        f->src.reset(info);
        parse_flags(*f, body, info);
        rec = std::move(f);
        break;
    }
    default: {
        auto g = std::make_unique<XF86GenericSectionRec>(*kind);
        g->src.reset(info);
        if (*kind == XF86SectionKind::Other)
            m_saw_pointer = true;
        parse_generic(*g, body, info);
        rec = std::move(g);
        break;
    }
    }
    rec->section_name = name.text;
    finish_body(body, name.end);
    rec->comment = own_line_comments(body);
    info->tail = trail_scan(body.end_end, n);
    if (m_keep)
        info->body = std::make_unique<Body>(std::move(body));
    return rec;
}

// ---------------------------------------------------------------- checks

void Parser::validate(XF86ConfigRec& tree)
{
    // First section of each name, by the server's name comparison.
    using Index = std::unordered_map<std::string, XF86SectionRec*>;
    Index devices, monitors, screens, modes, adaptors, inputs;
    std::unordered_map<std::string, XF86ConfScreenPtr> screens_exact;
    for (const auto& sec : tree.sections) {
        switch (sec->kind) {
        case XF86SectionKind::Device:
            devices.try_emplace(name_key(static_cast<XF86ConfDeviceRec&>(*sec).identifier), sec.get());
            break;
        case XF86SectionKind::Monitor:
            monitors.try_emplace(name_key(static_cast<XF86ConfMonitorRec&>(*sec).identifier), sec.get());
            break;
        case XF86SectionKind::Screen: {
            auto* sc = static_cast<XF86ConfScreenRec*>(sec.get());
            screens.try_emplace(name_key(sc->identifier), sc);
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
                idx.try_emplace(name_key(*g->identifier), g);
            break;
        }
        default:
            break;
        }
    }
    auto find = [](const Index& idx, const std::string& name) -> XF86SectionRec* {
        auto it = idx.find(name_key(name));
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
            const int line = line_of(&sc->adaptors, k);
            if (!find(adaptors, a))
                fail_data(line, *sc, "Undefined VideoAdaptor \"" + a + "\" referenced by Screen \"" + sc->identifier + "\".");
            auto it = adaptor_users.find(name_key(a));
            if (it != adaptor_users.end())
                fail_data(line, *sc, "VideoAdaptor \"" + a + "\" already referenced by Screen \"" + it->second + "\".");
        }
        for (const std::string& a : sc->adaptors)
            adaptor_users.try_emplace(name_key(a), sc->identifier);
    }
    for (const auto& [in, line] : m_inputs_without_driver) {
        auto* g = static_cast<const XF86GenericSectionRec*>(in);
        fail_data(line, *g, "InputDevice section \"" + g->identifier.value_or("") + "\" must have a Driver line.");
    }
    auto screen_exact = [&](const std::optional<std::string>& name) -> XF86ConfScreenPtr {
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

XF86ConfigHolder Parser::parse_file()
{
    XF86ConfigHolder tree(new XF86ConfigRec);
    auto* info = new SourceInfo;
    info->text = m_text;
    std::size_t lf = s.find('\n');
    info->newline = (lf != std::string::npos && lf > 0 && s[lf - 1] == '\r') ? "\r\n"
                    : (lf == std::string::npos && s.find('\r') != std::string::npos) ? "\r"
                                                                                     : "\n";
    tree->src.reset(info);
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
            sec->src.get()->pre = prev_tail;
            prev_tail = sec->src.get()->tail;
            tree->sections.push_back(std::move(sec));
        }
        tree->trailing_text = s.substr(prev_tail);
        info->tail = prev_tail;
        validate(*tree);
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

}  // namespace

namespace cvx::xf86config::detail {

std::unique_ptr<XF86SectionRec> reparse_section(const std::shared_ptr<const std::string>& text, std::size_t offset,
                                                bool text_has_nul)
{
    Parser parser(text, "", true, true, text_has_nul);
    return parser.parse_one(offset);
}

}  // namespace cvx::xf86config::detail

XF86ConfigPtr xf86parseConfigText(std::string_view text, const char* filename)
{
    g_warnings.clear();
    auto shared = std::make_shared<const std::string>(text);
    Parser parser(shared, filename ? filename : "(text)", false, false,
                  shared->find('\0') != std::string::npos);
    return parser.parse_file().release();
}

const std::vector<std::string>& xf86parseWarnings() { return g_warnings; }
