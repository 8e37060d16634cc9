// Joining pieces of file texts and new text so that the tokeniser still
// reads the same tokens where pieces meet that did not meet in the file.
#include "xf86config/write.h"

namespace cvx::xf86config::detail::write {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The last character the tokeniser reads of `s` (0 for none), skipping what
// NUL bytes drop: from a NUL to the end of its line, line break included.
char last_read(const std::string& s)
{
    std::size_t end = s.size();
    while (end > 0) {
        const std::size_t content_end = s[end - 1] == '\n' ? end - 1 : end;
        const std::size_t lf = content_end == 0 ? std::string::npos : s.rfind('\n', content_end - 1);
        const std::size_t start = lf == std::string::npos ? 0 : lf + 1;
        const std::size_t nul = std::string_view(s).substr(start, content_end - start).find('\0');
        if (nul == std::string_view::npos)
            return s[end - 1];
        if (nul > 0)
            return s[start + nul - 1];
        end = start;
    }
    return 0;
}

// The first character the tokeniser reads of `s`, or -1 when a NUL drops all of it.
int first_read(std::string_view s)
{
    std::size_t p = 0;
    while (p < s.size() && s[p] == '\0') {
        std::size_t lf = s.find('\n', p);
        if (lf == std::string_view::npos)
            return -1;
        p = lf + 1;
    }
    return p < s.size() ? static_cast<unsigned char>(s[p]) : -1;
}

}  // namespace

void Out::seam(std::string_view next)
{
    // Still inside what a NUL drops: end that, so the next piece is read.
    std::size_t lf = m_out.rfind('\n');
    if (m_out.find('\0', lf == std::string::npos ? 0 : lf + 1) != std::string::npos)
        m_out.push_back('\n');
    const char a = last_read(m_out);
    const int b = first_read(next);
    if (a != 0 && !blank(a) && (b < 0 || !(blank(static_cast<char>(b)) || b == '#')))
        m_out += m_nl;
}

}  // namespace cvx::xf86config::detail::write
