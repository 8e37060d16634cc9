// Private parts of the parser shared by its files: the tokens, the keyword
// tables' lookup, the number conversions the server uses and the parser
// itself, whose members are defined by job in parse_*.cpp and tokenizer.cpp.
#pragma once

#include "xf86config/internal.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace cvx::xf86config::detail::parse {

enum class Tk { Eof, Str, Num, Comma, Dash, Word };

struct Token {
    Tk kind = Tk::Eof;
    std::size_t begin = 0, end = 0;
    int line = 1;
    // String contents, or the raw text of other tokens: a view of the file
    // text, or (text with NUL bytes) of one of the parser's token buffers.
    std::string_view text;
};

struct Failure {};

struct Kw { std::string_view name; int id; };

// The word folded as the name comparison folds it, into `buf`; false when it
// is longer than any keyword.
inline bool fold(std::string_view word, char (&buf)[48], std::size_t& len)
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

inline bool folded_equals(const char* buf, std::size_t len, std::string_view name)
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

// A keyword given as a quoted string, as a bareword of the same meaning: the
// name comparison ignores the blanks and tabs a bareword cannot hold.
inline std::string as_bareword(std::string_view word)
{
    std::string bare;
    for (char c : word)
        if (c != ' ' && c != '\t')
            bare.push_back(c);
    return bare;
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

inline int int_value(std::string_view t)
{
    // strtoul with automatic base, stored in an int as the server does.
    // Most numbers are short decimals: read those directly (a leading 0
    // means octal or hex, and ten digits may overflow, so those go on).
    if (!t.empty() && t[0] >= '1' && t[0] <= '9') {
        unsigned v = 0;
        std::size_t i = 0;
        for (; i < t.size() && i < 10 && t[i] >= '0' && t[i] <= '9'; ++i)
            v = v * 10 + static_cast<unsigned>(t[i] - '0');
        if (i < 10)
            return static_cast<int>(v);
    }
    char buf[64];
    if (t.size() < sizeof buf) {
        t.copy(buf, t.size());
        buf[t.size()] = 0;
        return static_cast<int>(std::strtoul(buf, nullptr, 0));
    }
    return static_cast<int>(std::strtoul(std::string(t).c_str(), nullptr, 0));
}

inline double real_value(std::string_view t)
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

// A real stored in an int as the server stores it: beyond the range of int
// (or not a number) the processor's conversion gives INT_MIN; so does this,
// without the undefined conversion.
inline int to_int(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

inline int to_khz(double mhz) { return to_int(mhz * 1000.0 + 0.5); }


inline constexpr const char* kMsgEof = "Unexpected EOF. Missing EndSection keyword?";

// Findings of the last parse of a file (xf86parseWarnings).
extern std::vector<std::string> g_warnings;

class Parser {
public:
    Parser(std::shared_ptr<const std::string> text, std::string filename, bool quiet, bool keep, bool has_nul)
        : m_text(std::move(text)), s(*m_text), n(s.size()), m_file(std::move(filename)),
          m_quiet(quiet), m_keep(keep), m_has_nul(has_nul)
    {}

    XF86ConfigHolder parse_file();
    std::unique_ptr<XF86SectionRec> parse_one(std::size_t offset);
    // Copy the sections' own comment lines out of the text, instead of
    // leaving them there to be read on demand.
    void copy_comments() { m_copy_comments = true; }

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
    void note_line(const void* list, int line) { m_ref_lines.emplace_back(list, line); }
    // Asked only for a message, so a scan is enough.
    int line_of(const void* list, std::size_t index) const
    {
        for (const auto& [l, line] : m_ref_lines)
            if (l == list && index-- == 0)
                return line;
        return 0;
    }

    // ------------------------------------------------------------ helpers
    std::string need_str(const char* kw);
    std::string need_str_msg(const char* msg);
    int need_int(const char* kw);
    int need_int_msg(const char* msg);
    double need_real_msg(const char* msg);
    int add_item(Body& b, std::size_t begin, int group);
    // Bodies that are not kept are used again, so that their statement lists
    // keep their room from one section to the next.
    Body take_body();
    void give_back(Body&& b);
    XF86OptionalText comment_after(std::size_t pos) const;
    std::size_t trail_scan(std::size_t pos, std::size_t limit) const;
    void finish_body(Body& b, std::size_t head_tok_end);
    // Whether the body has comment lines of its own; their text joined into
    // `joined` when given.
    bool own_line_comment_lines(const Body& b, std::string* joined) const;
    XF86OptionalText own_line_comments(const Body& b);
    [[noreturn]] void bad_keyword(const Token& t) { fail(t.line, quoted(t.text) + " is not a valid keyword in this section."); }

    void parse_option(Body& b, std::size_t begin, XF86OptionList& list, int group, std::uint32_t owner);
    void parse_ranges(std::vector<XF86ConfRange>& v, const char* kw, std::size_t limit, const char* too_many);
    XF86ConfModeLineRec parse_modeline();
    XF86ConfModeLineRec parse_mode_block();

    std::unique_ptr<XF86SectionRec> parse_section(const Token& kw);
    void parse_device(XF86ConfDeviceRec& d, Body& b, std::uint32_t me);
    void parse_monitor(XF86ConfMonitorRec& m, Body& b, std::uint32_t me);
    void parse_screen(XF86ConfScreenRec& sc, Body& b, std::uint32_t me);
    void parse_display(XF86ConfDisplayRec& d, Body& b, std::uint32_t me);
    void parse_layout(XF86ConfLayoutRec& l, Body& b, std::uint32_t me);
    void parse_module(XF86ConfModuleRec& m, Body& b, std::uint32_t me);
    void parse_flags(XF86ConfFlagsRec& f, Body& b, std::uint32_t me);
    void parse_generic(XF86GenericSectionRec& g, Body& b, std::uint32_t me);
    void index_section(XF86SectionRec& sec);
    void validate();

    std::shared_ptr<const std::string> m_text;
    const std::string& s;
    std::size_t n;
    std::string m_file;
    bool m_quiet, m_keep;
    bool m_copy_comments = false;
    bool m_has_nul;   // NUL bytes need the slow, joining tokeniser

    std::size_t p = 0;
    int m_line = 1;
    Token m_pending;
    // Texts of the tokens of text with NUL bytes, used in turn: a token's
    // text stays valid while fewer than this many tokens follow it.
    std::string m_token_buf[64];
    unsigned m_token_next = 0;
    bool m_has_pending = false, m_pending_force = false;
    std::size_t m_last_end = 0, m_last_end_before = 0;
    std::optional<std::string> m_section;   // name of the last section opened, for messages

    // Facts the checks after parsing need and the tree does not hold.
    std::vector<std::pair<const XF86SectionRec*, int>> m_inputs_without_driver;   // with the Section line
    struct Checks {
        // First section of each name, by the name comparison's key.
        using Index = std::unordered_map<std::string, XF86SectionRec*>;
        Index devices, monitors, screens, modes, adaptors, inputs;
        std::unordered_map<std::string, XF86ConfScreenPtr> screens_exact;
        std::vector<XF86ConfScreenPtr> screen_list;   // in file order
        std::vector<XF86ConfLayoutPtr> layout_list;
        std::string key;
    } m_checks;
    bool m_saw_pointer = false;
    int m_section_line = 0;                  // line of the last 'Section' keyword
    std::vector<std::pair<const void*, int>> m_ref_lines;   // list, line; in statement order
    std::vector<Body> m_spare_bodies;
    std::string m_comment_buf;   // comments are gathered here, then copied out at their size
};

}  // namespace cvx::xf86config::detail::parse
