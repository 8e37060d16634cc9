// The two tokenisers (one for text with NUL bytes, which join lines the
// server's way, one for everything else) and the one-token push-back.
#include "xf86config/parse.h"

#include <cctype>
#include <cstring>

namespace cvx::xf86config::detail::parse {

namespace {

// Character classes of the fast tokeniser: one look-up per byte. The text it
// reads holds no NUL, so the NUL a std::string keeps after its last byte ends
// every run without a bounds check.
enum : unsigned char { kBlank = 1, kEndsWord = 2, kEndsString = 4 };

struct Classes {
    unsigned char of[256] = {};
    constexpr Classes()
    {
        for (unsigned char c : {' ', '\t', '\r', '\n'})
            of[c] |= kBlank | kEndsWord;
        of[static_cast<unsigned char>('#')] |= kEndsWord;
        for (unsigned char c : {'"', '\r', '\n'})
            of[c] |= kEndsString;
        of[0] |= kEndsWord | kEndsString;
    }
    bool is(char c, unsigned char cls) const { return (of[static_cast<unsigned char>(c)] & cls) != 0; }
};
constexpr Classes kClass;

}  // namespace

// The tokeniser for text without NUL bytes: the same rules, whole runs at a time.
Token Parser::lex_fast()
{
    const char* d = s.data();   // d[n] is the NUL that ends the text
    for (;;) {
        while (kClass.is(d[p], kBlank)) {
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
        while (!kClass.is(d[e], kEndsString))
            ++e;
        t.text = std::string_view(d + q, e - q);
        p = e < n && d[e] == '"' ? e + 1 : e;
    } else if (c >= '0' && c <= '9') {
        t.kind = Tk::Num;
        const bool hex = c == '0' && q + 1 < n && (d[q + 1] == 'x' || d[q + 1] == 'X');
        ++q;
        for (;;) {
            char x = d[q];
            bool fits = (x >= '0' && x <= '9') || x == '.' || x == 'x' || x == 'X' ||
                        (hex && ((x >= 'a' && x <= 'f') || (x >= 'A' && x <= 'F')));
            if (!fits)
                break;
            ++q;
        }
        t.text = std::string_view(d + p, q - p);
        p = q;
    } else if ((c == ',' || c == '-') && !(q + 1 < n && std::isalpha(static_cast<unsigned char>(d[q + 1])))) {
        t.kind = c == ',' ? Tk::Comma : Tk::Dash;
        t.text = std::string_view(d + p, 1);
        ++p;
    } else {
        t.kind = Tk::Word;
        ++q;   // the first byte is a word's, whatever it is: every token moves on
        while (!kClass.is(d[q], kEndsWord))
            ++q;
        t.text = std::string_view(d + p, q - p);
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
    std::string& text = m_token_buf[m_token_next++ % std::size(m_token_buf)];
    text.clear();
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
            text.push_back(static_cast<char>(c));
        }
    } else if (c >= '0' && c <= '9') {
        t.kind = Tk::Num;
        text.push_back(static_cast<char>(c));
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
            text.push_back(static_cast<char>(c));
            adv();
        }
    } else if ((c == ',' || c == '-') && !std::isalpha(after_cur())) {
        t.kind = c == ',' ? Tk::Comma : Tk::Dash;
        text.push_back(static_cast<char>(c));
        adv();
    } else {
        t.kind = Tk::Word;
        for (;;) {
            c = cur();
            if (c < 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#')
                break;
            text.push_back(static_cast<char>(c));
            adv();
        }
    }
    t.text = text;
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
    bool f = false;
    Token t = m_has_pending ? m_pending : lex();
    if (m_has_pending) {
        f = m_pending_force;
        m_has_pending = m_pending_force = false;
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

}  // namespace cvx::xf86config::detail::parse
