// Bodies: a section or subsection as read with its changes put in, or one
// written from nothing.
#include "xf86config/write.h"
#include <cstring>

namespace cvx::xf86config::detail::write {

namespace {

std::size_t last_newline(const std::string& t, std::size_t from, std::size_t to)
{
    for (std::size_t k = to; k > from; --k)
        if (t[k - 1] == '\n' || t[k - 1] == '\r')
            return k - 1;
    return std::string::npos;
}


}  // namespace

// The indentation of the body's statements, or `fallback`.
std::string detect_inner(const std::string& t, const Body* b, const std::string& fallback)
{
    if (!b)
        return fallback;
    for (const Item& it : b->items) {
        std::size_t k = last_newline(t, it.lead, it.begin);
        bool line_start = k != std::string::npos || (it.lead > 0 && (t[it.lead - 1] == '\n' || t[it.lead - 1] == '\r'));
        if (!line_start)
            continue;
        std::size_t from = k == std::string::npos ? it.lead : k + 1;
        std::string ind = t.substr(from, it.begin - from);
        if (ind.find_first_not_of(" \t") == std::string::npos)
            return ind;
    }
    return fallback;
}

namespace {

class BodyWriter {
public:
    BodyWriter(const std::string& text, const Body& body, Plans& plans, std::string inner, std::string nl,
               bool comment_changed, const XF86OptionalText& comment)
        : t(text), b(body), m_plans(plans), m_inner(std::move(inner)), m_nl(std::move(nl)),
          m_strip(comment_changed), m_comment(comment), out(m_nl)
    {
        // The comments of a body with NUL bytes are not modelled: kept as they are.
        if (b.end_begin > b.head_end && std::memchr(t.data() + b.head_end, '\0', b.end_begin - b.head_end))
            m_strip = false;
    }

    std::string run();

private:
    Group* group_of(const Item& it)
    {
        return it.group > 0 && static_cast<std::size_t>(it.group) < m_plans.size() ? &m_plans[it.group] : nullptr;
    }
    void lead(std::size_t from, std::size_t to);
    const Body::Glued* glued(std::size_t index) const
    {
        for (const Body::Glued& g : b.glued)
            if (g.index == index)
                return &g;
        return nullptr;
    }
    void orig(const Item& it)
    {
        lead(it.lead, it.begin);
        if (const Body::Glued* g = glued(static_cast<std::size_t>(&it - b.items.data()))) {
            out.add(g->word);
            out.copy(t, g->end, it.trail);
            return;
        }
        out.copy(t, it.begin, it.trail);
    }
    std::string newline_of(const Item& it) const;
    void replaced(const Item& it, const std::string& text, bool keep_trailing, bool has_comment);
    void dropped(const Item& it);
    void line_start()
    {
        const std::string& o = out.str();
        if (!o.empty() && o.back() != '\n' && o.back() != '\r')
            out.add(m_nl);
    }
    void fresh(const std::string& text)
    {
        line_start();
        out.add(m_inner + text + m_nl);
    }
    std::string restyle(const std::string& text, const Item* model) const;
    void fresh_like(const std::string& text, const Item* model) { fresh(restyle(text, model)); }
    void emit_elem(const Item& it, Elem& e)
    {
        if (e.same)
            orig(it);
        else if (e.spliced)
            spliced(it, e.text);
        else
            replaced(it, e.text, e.keep_trailing, e.has_comment);
    }
    void spliced(const Item& it, const std::string& text)
    {
        lead(it.lead, it.begin);
        out.splice(text, &t, it.begin, it.end);
        out.copy(t, it.end, it.trail);
    }

    const std::string& t;
    const Body& b;
    Plans& m_plans;
    std::string m_inner, m_nl;
    bool m_strip;
    const XF86OptionalText& m_comment;
    Out out;
};

// Takes the keyword's spelling and the gap after it from a statement of the
// same kind, so that a rewritten line keeps the look of its neighbours.
std::string BodyWriter::restyle(const std::string& text, const Item* model) const
{
    if (!model)
        return text;
    const std::size_t begin = model->begin, end = model->end;
    std::size_t k = begin;
    while (k < end && t[k] != ' ' && t[k] != '\t')
        ++k;
    std::size_t w = k;
    while (w < end && (t[w] == ' ' || t[w] == '\t'))
        ++w;
    std::size_t nk = text.find(' ');
    if (k == begin || w == k || w >= end || nk == std::string::npos)
        return text;
    std::size_t nw = text.find_first_not_of(' ', nk);
    if (nw == std::string::npos || text.compare(0, nk, "SubSection") == 0 || text.compare(0, nk, "Mode") == 0)
        return text;
    if (xf86nameCompare(std::string_view(t).substr(begin, k - begin), std::string_view(text).substr(0, nk)) != 0)
        return text;
    return t.substr(begin, w - begin) + text.substr(nw);
}

void BodyWriter::lead(std::size_t from, std::size_t to)
{
    if (!m_strip) {
        out.copy(t, from, to);
        return;
    }
    // The section's comment was replaced: leave out the comment lines.
    std::size_t p = from;
    while (p < to) {
        std::size_t e = p;
        while (e < to && t[e] != '\n' && t[e] != '\r')
            ++e;
        std::size_t nl_end = e;
        if (nl_end < to && t[nl_end] == '\r')
            ++nl_end;
        if (nl_end < to && t[nl_end] == '\n')
            ++nl_end;
        std::size_t k = p;
        while (k < e && (t[k] == ' ' || t[k] == '\t'))
            ++k;
        if (!(k < e && t[k] == '#'))
            out.copy(t, p, nl_end);
        p = nl_end;
    }
}

std::string BodyWriter::newline_of(const Item& it) const
{
    if (it.trail > it.end) {
        char last = t[it.trail - 1];
        if (last == '\n')
            return it.trail - 1 > it.end && t[it.trail - 2] == '\r' ? "\r\n" : "\n";
        if (last == '\r')
            return "\r";
    }
    return "";
}

void BodyWriter::replaced(const Item& it, const std::string& text, bool keep_trailing, bool has_comment)
{
    lead(it.lead, it.begin);
    out.add(restyle(text, &it));
    if (keep_trailing) {
        out.copy(t, it.end, it.trail);
        return;
    }
    std::string nl = newline_of(it);
    if (nl.empty() && has_comment)
        nl = m_nl;
    out.add(nl);
}

void BodyWriter::dropped(const Item& it)
{
    std::size_t k = last_newline(t, it.lead, it.begin);
    bool line_start = k != std::string::npos || it.lead == 0 || t[it.lead - 1] == '\n' || t[it.lead - 1] == '\r';
    if (k != std::string::npos)
        lead(it.lead, k + 1);
    if (!line_start)
        out.add(newline_of(it));
}

std::string BodyWriter::run()
{
    out.copy(t, b.head_begin, b.head_end);
    if (m_strip && m_comment) {
        line_start();
        std::size_t p = 0;
        const std::string_view c = *m_comment;
        while (p < c.size()) {
            std::size_t e = c.find('\n', p);
            if (e == std::string::npos)
                e = c.size();
            out.add(m_inner + comment_text(c.substr(p, e - p)) + m_nl);
            p = e + 1;
        }
    }

    const std::size_t G = m_plans.size();
    std::vector<int> first(G, -1), last(G, -1);
    for (std::size_t i = 0; i < b.items.size(); ++i)
        if (group_of(b.items[i])) {
            int id = b.items[i].group;
            if (first[id] < 0)
                first[id] = static_cast<int>(i);
            last[id] = static_cast<int>(i);
        }

    // Elements of each group by statement; statements must still be in order,
    // otherwise the whole group is written anew where it began.
    std::vector<int> elem_at(b.items.size(), -1);
    std::vector<std::vector<bool>> emitted(G);
    for (std::size_t gi = 0; gi < G; ++gi) {
        Group& g = m_plans[gi];
        if (g.kind != Group::Elements)
            continue;
        emitted[gi].assign(g.elems.size(), false);
        int prev = -1;
        bool ordered = true;
        for (const Elem& e : g.elems)
            if (e.item >= 0) {
                if (e.item <= prev || static_cast<std::size_t>(e.item) >= b.items.size() ||
                    b.items[e.item].group != static_cast<int>(gi))
                    ordered = false;
                prev = e.item;
            }
        if (!ordered)
            for (Elem& e : g.elems)
                if (e.item >= 0) {
                    e.item = -1;
                    e.same = false;
                    // An element moved out of order keeps its text but not its place.
                }
        for (std::size_t k = 0; k < g.elems.size(); ++k)
            if (g.elems[k].item >= 0)
                elem_at[g.elems[k].item] = static_cast<int>(k);
    }

    auto emit_new_run = [&](std::size_t gi, std::size_t from) {
        // New elements from index `from` up to the next anchored one.
        Group& g = m_plans[gi];
        for (std::size_t k = from; k < g.elems.size() && g.elems[k].item < 0; ++k)
            if (!emitted[gi][k]) {
                fresh_like(g.elems[k].text, first[gi] >= 0 ? &b.items[first[gi]] : nullptr);
                emitted[gi][k] = true;
            }
    };

    for (std::size_t i = 0; i < b.items.size(); ++i) {
        const Item& it = b.items[i];
        Group* g = group_of(it);
        if (!g || g->kind == Group::Keep) {
            orig(it);
            continue;
        }
        const std::size_t gi = static_cast<std::size_t>(it.group);
        switch (g->kind) {
        case Group::Scalar:
            // The last statement of a keyword is the one that counts; when the
            // value goes away, earlier repeats must go too or they would count.
            if (!g->changed)
                orig(it);
            else if (g->lines.empty())
                dropped(it);
            else if (static_cast<int>(i) == last[gi])
                replaced(it, g->lines.front(), true, false);
            else
                orig(it);
            break;
        case Group::Whole:
            if (!g->changed) {
                orig(it);
            } else if (static_cast<int>(i) == first[gi] && !g->lines.empty()) {
                replaced(it, g->lines.front(), true, false);
                for (std::size_t k = 1; k < g->lines.size(); ++k)
                    fresh_like(g->lines[k], &it);
            } else {
                dropped(it);
            }
            break;
        case Group::Elements: {
            int k = elem_at[i];
            if (k >= 0) {
                bool first_anchor = true;
                for (int j = 0; j < k; ++j)
                    if (g->elems[j].item >= 0)
                        first_anchor = false;
                if (first_anchor)
                    emit_new_run(gi, 0);
                emit_elem(it, g->elems[k]);
                emitted[gi][k] = true;
                emit_new_run(gi, static_cast<std::size_t>(k) + 1);
            } else {
                dropped(it);
                bool any_anchor = false;
                for (const Elem& e : g->elems)
                    any_anchor = any_anchor || e.item >= 0;
                if (!any_anchor && static_cast<int>(i) == first[gi])
                    emit_new_run(gi, 0);
            }
            break;
        }
        case Group::Keep:
            break;
        }
    }

    // What has no statement to stand beside goes to the end of the body.
    for (std::size_t gi = 1; gi < G; ++gi) {
        Group& g = m_plans[gi];
        if (g.kind == Group::Scalar || g.kind == Group::Whole) {
            if (g.changed && first[gi] < 0)
                for (const std::string& l : g.lines)
                    fresh(l);
        } else if (g.kind == Group::Elements) {
            for (std::size_t k = 0; k < g.elems.size(); ++k)
                if (!emitted[gi][k])
                    fresh(g.elems[k].text);
        }
    }
    lead(b.end_lead, b.end_begin);
    if (const Body::Glued* g = glued(b.items.size())) {
        out.add(g->word);
        out.copy(t, g->end, b.end_end);
    } else {
        out.copy(t, b.end_begin, b.end_end);
    }
    return out.take();
}


}  // namespace

std::string rewrite_body(const std::string& text, const Body& body, Plans& plans, std::string inner,
                         std::string nl, bool comment_changed, const XF86OptionalText& comment)
{
    BodyWriter w(text, body, plans, std::move(inner), std::move(nl), comment_changed, comment);
    return w.run();
}

// A body written from nothing: the head line, the comment, every group, the end keyword.
std::string fresh_body(const std::string& head, const XF86OptionalText& comment, Plans& plans,
                       const std::string& base, const std::string& inner, const std::string& nl, const char* end)
{
    static const std::string empty;
    Body none;
    std::string out = head + nl;
    if (comment) {
        std::size_t p = 0;
        while (p < comment->size()) {
            std::size_t e = comment->find('\n', p);
            if (e == std::string::npos)
                e = comment->size();
            out += inner + comment_text(comment->substr(p, e - p)) + nl;
            p = e + 1;
        }
    }
    for (std::size_t gi = 1; gi < plans.size(); ++gi) {
        Group& g = plans[gi];
        if (g.kind == Group::Scalar || g.kind == Group::Whole) {
            if (g.changed)
                for (const std::string& l : g.lines)
                    out += inner + l + nl;
        } else if (g.kind == Group::Elements) {
            for (const Elem& e : g.elems)
                out += inner + e.text + nl;
        }
    }
    return out + base + end;
}

}  // namespace cvx::xf86config::detail::write
