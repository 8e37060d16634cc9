// Where statements stand: each body's items with the text before and after
// them, the end-of-line comments and the comment lines of a body.
#include "xf86config/parse.h"
#include <algorithm>
#include <cstring>

namespace cvx::xf86config::detail::parse {

int Parser::add_item(Body& b, std::size_t begin, int group)
{
    Item it;
    it.begin = begin;
    it.end = std::max(begin, m_last_end);
    it.group = group;
    b.items.push_back(it);
    return static_cast<int>(b.items.size()) - 1;
}

Body Parser::take_body()
{
    if (m_spare_bodies.empty()) {
        Body b;
        b.items.reserve(16);
        return b;
    }
    Body b = std::move(m_spare_bodies.back());
    m_spare_bodies.pop_back();
    return b;
}

void Parser::give_back(Body&& b)
{
    std::vector<Item> items = std::move(b.items);
    items.clear();
    b = Body{};
    b.items = std::move(items);
    m_spare_bodies.push_back(std::move(b));
}

XF86OptionalText Parser::comment_after(std::size_t pos) const
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

XF86OptionalText Parser::own_line_comments(const Body& b)
{
    if (!own_line_comment_lines(b, &m_comment_buf))
        return std::nullopt;
    return std::string_view(m_comment_buf);
}

bool Parser::own_line_comment_lines(const Body& b, std::string* joined) const
{
    // Comment lines standing on their own inside the body, joined by '\n'.
    // A body with NUL bytes joins lines the server's way; its comments are
    // not modelled, so that they stay exactly as they are (see the writer).
    if (joined)
        joined->clear();
    if (b.end_begin <= b.head_end)
        return false;
    const char* body = s.data() + b.head_end;
    const std::size_t body_len = b.end_begin - b.head_end;
    if (std::memchr(body, '#', body_len) == nullptr || std::memchr(body, '\0', body_len))
        return false;
    bool found = false;
    // Stops at the first comment line when only whether there is one is asked.
    auto scan = [&](std::size_t from, std::size_t to) {
        if (to <= from || (found && !joined) || std::memchr(s.data() + from, '#', to - from) == nullptr)
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
                if (!joined) {
                    found = true;
                    return;
                }
                if (found)
                    joined->push_back('\n');
                joined->append(s, k, eol - k);
                found = true;
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
    return found;
}

}  // namespace cvx::xf86config::detail::parse
