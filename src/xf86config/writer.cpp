// The writer. A section that still equals what was read is copied from the
// file text. In a changed section every statement that still says the same
// is copied too; only changed statements are written anew, removed ones are
// left out and new ones are added after their kind's last statement (or at
// the end of the section). New sections get one consistent layout.
#include "xf86config/internal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace cvx::xf86config::detail;

namespace {

struct WriteError { std::string msg; };

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Output assembled from pieces of file texts and new text. Where two pieces
// meet that did not meet in the file, the tokeniser must still see the same
// tokens: a token must not run on into the next piece, and a NUL (which drops
// the rest of its line and joins the next line on) must not glue the next
// piece to the text before it. There a line break is put in.
class Out {
public:
    explicit Out(std::string nl) : m_nl(std::move(nl)) {}

    // Text [from, to) of `text`.
    void copy(const std::string& text, std::size_t from, std::size_t to)
    {
        if (to > from)
            splice(std::string_view(text).substr(from, to - from), &text, from, to);
    }
    // New text.
    void add(std::string_view piece) { splice(piece, nullptr, 0, 0); }
    // New text that stands for [from, to) of `text`: it begins and ends as that did.
    void splice(std::string_view piece, const std::string* text, std::size_t from, std::size_t to)
    {
        if (piece.empty())
            return;
        if (!text || text != m_text || from != m_at)
            seam(piece);
        m_out.append(piece);
        m_text = text;
        m_at = to;
    }
    const std::string& str() const { return m_out; }
    std::string take() { return std::move(m_out); }

private:
    void seam(std::string_view next);

    std::string m_nl;
    std::string m_out;
    const std::string* m_text = nullptr;   // where the output ends in a file text, if it does
    std::size_t m_at = 0;
};

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

struct Elem {
    int item = -1;             // statement it was read from, in this body; -1 = new
    bool same = false;         // still as read: copy the statement
    std::string text;          // otherwise: the statement to write (may span lines)
    bool keep_trailing = true; // keep the rest of the original line (its comment)
    bool has_comment = false;  // text ends in a comment
    bool spliced = false;      // text is the statement rewritten from its own text (a subsection)
};

struct Group {
    enum Kind { Keep, Scalar, Whole, Elements } kind = Keep;
    bool changed = false;
    std::vector<std::string> lines;
    std::vector<Elem> elems;
};
using Plans = std::vector<Group>;

// ---------------------------------------------------------------- values

std::string q(const std::string& s)
{
    for (char c : s)
        if (c == '"' || c == '\n' || c == '\r' || c == '\0')
            throw WriteError{"the text \"" + s.substr(0, 40) +
                             "\" holds a quote, a line break or a NUL byte, which the file format cannot hold"};
    return "\"" + s + "\"";
}

std::string num(int v)
{
    if (v < 0)
        throw WriteError{"the value " + std::to_string(v) + " is negative, which the file format cannot hold"};
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

std::string comment_text(const std::string& c)
{
    for (char ch : c)
        if (ch == '\n' || ch == '\r' || ch == '\0')
            throw WriteError{"a comment holds a line break or a NUL byte"};
    return c.empty() || c[0] != '#' ? "# " + c : c;
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

// ---------------------------------------------------------------- planning

template <class F>
void scalar(Group& g, bool changed, F make)
{
    g.kind = Group::Scalar;
    g.changed = changed;
    if (changed)
        if (std::optional<std::string> line = make())
            g.lines.push_back(std::move(*line));
}

template <class F>
void whole(Group& g, bool changed, F make)
{
    g.kind = Group::Whole;
    g.changed = changed;
    if (changed)
        g.lines = make();
}

void opt_str(Group& g, const std::optional<std::string>& cur, const std::optional<std::string>& old, const char* kw)
{
    scalar(g, cur != old, [&]() -> std::optional<std::string> {
        if (!cur)
            return std::nullopt;
        return stmt(kw, q(*cur));
    });
}

// The element of `list` read from statement `item`, if any (elements of a
// parsed list are in statement order).
template <class T>
const T* by_item(const std::vector<T>* list, int item)
{
    if (!list)
        return nullptr;
    auto it = std::lower_bound(list->begin(), list->end(), item, [](const T& e, int i) {
        return e.src.get() && e.src.get()->item < i;
    });
    if (it != list->end() && it->src.get() && it->src.get()->item == item)
        return &*it;
    return nullptr;
}

// Render(elem, original-or-null, out) fills text/keep_trailing for a changed or new element.
template <class T, class Render>
void elements(Group& g, const std::vector<T>& cur, const SourceInfo* owner, const std::vector<T>* snap, Render render)
{
    g.kind = Group::Elements;
    std::vector<const T*> origs(cur.size(), nullptr);
    int prev = -1;
    bool ordered = true;
    for (std::size_t k = 0; k < cur.size(); ++k) {
        const SourceInfo* si = cur[k].src.get();
        origs[k] = (owner && si && si->owner == owner) ? by_item(snap, si->item) : nullptr;
        if (origs[k]) {
            ordered = ordered && si->item > prev;
            prev = si->item;
        }
    }
    // Statements can keep their place only while they keep their order;
    // otherwise the whole list is written anew where it began.
    if (!ordered)
        std::fill(origs.begin(), origs.end(), nullptr);
    for (std::size_t k = 0; k < cur.size(); ++k) {
        Elem el;
        if (origs[k]) {
            el.item = cur[k].src.get()->item;
            el.same = cur[k] == *origs[k];
        }
        if (!el.same)
            render(cur[k], origs[k], el);
        g.elems.push_back(std::move(el));
    }
}

// Statements with an end-of-line comment of their own: keep the original line
// end while the comment is unchanged.
template <class T>
void with_comment(const T& e, const T* orig, Elem& el, std::string text)
{
    if (orig && orig->comment == e.comment) {
        el.text = std::move(text);
        el.keep_trailing = true;
        return;
    }
    el.keep_trailing = false;
    if (e.comment) {
        text += " " + comment_text(*e.comment);
        el.has_comment = true;
    }
    el.text = std::move(text);
}

void option_group(Group& g, const XF86OptionList& cur, const SourceInfo* owner, const XF86OptionList* snap)
{
    elements(g, cur, owner, snap, [](const XF86OptionRec& o, const XF86OptionRec* orig, Elem& el) {
        with_comment(o, orig, el, option_text(o));
    });
}

// ---------------------------------------------------------------- bodies

std::size_t last_newline(const std::string& t, std::size_t from, std::size_t to)
{
    for (std::size_t k = to; k > from; --k)
        if (t[k - 1] == '\n' || t[k - 1] == '\r')
            return k - 1;
    return std::string::npos;
}

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

class BodyWriter {
public:
    BodyWriter(const std::string& text, const Body& body, Plans& plans, std::string inner, std::string nl,
               bool comment_changed, const std::optional<std::string>& comment)
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
    const std::optional<std::string>& m_comment;
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
        const std::string& c = *m_comment;
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

// A body written from nothing: the head line, the comment, every group, the end keyword.
std::string fresh_body(const std::string& head, const std::optional<std::string>& comment, Plans& plans,
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

// ---------------------------------------------------------------- per kind

struct Ctx {
    const std::string* text = nullptr;   // null for new content
    const Body* body = nullptr;
    const SourceInfo* owner = nullptr;
    std::string base, inner, nl;
};

std::string finish(const Ctx& c, Plans& plans, const std::optional<std::string>& comment,
                   const std::optional<std::string>& old_comment, const std::string& head, const char* end)
{
    if (c.text && c.body) {
        BodyWriter w(*c.text, *c.body, plans, c.inner, c.nl, comment != old_comment, comment);
        return w.run();
    }
    return fresh_body(head, comment, plans, c.base, c.inner, c.nl, end);
}

std::string write_display(const XF86ConfDisplayRec& d, const XF86ConfDisplayRec& s, const Ctx& c);

Plans plan_display(const XF86ConfDisplayRec& d, const XF86ConfDisplayRec& s, const Ctx& c)
{
    Plans P(DS_COUNT);
    scalar(P[DS_DEPTH], d.depth != s.depth, [&]() -> std::optional<std::string> {
        if (d.depth == 0) return std::nullopt;
        return stmt("Depth", num(d.depth));
    });
    scalar(P[DS_FBBPP], d.bpp != s.bpp, [&]() -> std::optional<std::string> {
        if (d.bpp == 0) return std::nullopt;
        return stmt("FbBPP", num(d.bpp));
    });
    opt_str(P[DS_VISUAL], d.visual, s.visual, "Visual");
    auto triple = [](const char* kw, int r, int g, int b) { return stmt(kw, num(r) + " " + num(g) + " " + num(b)); };
    scalar(P[DS_WEIGHT], d.weight_red != s.weight_red || d.weight_green != s.weight_green || d.weight_blue != s.weight_blue,
           [&]() -> std::optional<std::string> {
               if (d.weight_red == 0 && d.weight_green == 0 && d.weight_blue == 0) return std::nullopt;
               return triple("Weight", d.weight_red, d.weight_green, d.weight_blue);
           });
    scalar(P[DS_BLACK], d.black_red != s.black_red || d.black_green != s.black_green || d.black_blue != s.black_blue,
           [&]() -> std::optional<std::string> {
               if (d.black_red == -1 && d.black_green == -1 && d.black_blue == -1) return std::nullopt;
               return triple("Black", d.black_red, d.black_green, d.black_blue);
           });
    scalar(P[DS_WHITE], d.white_red != s.white_red || d.white_green != s.white_green || d.white_blue != s.white_blue,
           [&]() -> std::optional<std::string> {
               if (d.white_red == -1 && d.white_green == -1 && d.white_blue == -1) return std::nullopt;
               return triple("White", d.white_red, d.white_green, d.white_blue);
           });
    whole(P[DS_MODES], d.modes != s.modes, [&]() {
        std::vector<std::string> lines;
        if (!d.modes.empty()) {
            std::string args;
            for (const std::string& m : d.modes)
                args += (args.empty() ? "" : " ") + q(m);
            lines.push_back(stmt("Modes", args));
        }
        return lines;
    });
    scalar(P[DS_VIRTUAL], d.virtual_x != s.virtual_x || d.virtual_y != s.virtual_y, [&]() -> std::optional<std::string> {
        if (d.virtual_x == 0 && d.virtual_y == 0) return std::nullopt;
        return stmt("Virtual", num(d.virtual_x) + " " + num(d.virtual_y));
    });
    scalar(P[DS_VIEWPORT], d.frame_x0 != s.frame_x0 || d.frame_y0 != s.frame_y0, [&]() -> std::optional<std::string> {
        if (d.frame_x0 == -1 && d.frame_y0 == -1) return std::nullopt;
        return stmt("ViewPort", num(d.frame_x0) + " " + num(d.frame_y0));
    });
    const XF86ConfDisplayRec* orig = c.body ? &s : nullptr;
    option_group(P[DS_OPTIONS], d.options, c.owner, orig ? &orig->options : nullptr);
    return P;
}

std::string write_display(const XF86ConfDisplayRec& d, const XF86ConfDisplayRec& s, const Ctx& c)
{
    Plans P = plan_display(d, s, c);
    return finish(c, P, d.comment, s.comment, "SubSection \"Display\"", "EndSubSection");
}

Ctx nested(const Ctx& parent, const SourceInfo* owner, const Body* body)
{
    Ctx c;
    c.text = body ? parent.text : nullptr;
    c.body = body;
    c.owner = owner;
    c.base = parent.inner;
    c.nl = parent.nl;
    c.inner = body && parent.text ? detect_inner(*parent.text, body, parent.inner + unit_of(parent.inner))
                                  : parent.inner + unit_of(parent.inner);
    return c;
}

Plans plan_device(const XF86ConfDeviceRec& d, const XF86ConfDeviceRec& s, const Ctx& c)
{
    Plans P(DV_COUNT);
    scalar(P[DV_IDENT], d.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        return stmt("Identifier", q(d.identifier));
    });
    opt_str(P[DV_DRIVER], d.driver, s.driver, "Driver");
    opt_str(P[DV_VENDOR], d.vendor, s.vendor, "VendorName");
    opt_str(P[DV_BOARD], d.board, s.board, "BoardName");
    opt_str(P[DV_CHIPSET], d.chipset, s.chipset, "Chipset");
    opt_str(P[DV_CARD], d.card, s.card, "Card");
    opt_str(P[DV_RAMDAC], d.ramdac, s.ramdac, "Ramdac");
    opt_str(P[DV_CLOCKCHIP], d.clockchip, s.clockchip, "ClockChip");
    scalar(P[DV_DACSPEED], !std::equal(std::begin(d.dacSpeeds), std::end(d.dacSpeeds), std::begin(s.dacSpeeds)),
           [&]() -> std::optional<std::string> {
               std::string args;
               for (int v : d.dacSpeeds) {
                   if (v == 0) break;
                   args += (args.empty() ? "" : " ") + mhz(v);
               }
               if (args.empty()) return std::nullopt;
               return stmt("DacSpeed", args);
           });
    whole(P[DV_CLOCKS], d.clocks != s.clocks, [&]() {
        if (d.clocks.size() > 128)
            throw WriteError{"a Device section has more than 128 clocks"};
        std::vector<std::string> lines;
        std::string args;
        for (int v : d.clocks)
            args += (args.empty() ? "" : " ") + mhz(v);
        if (!args.empty())
            lines.push_back(stmt("Clocks", args));
        return lines;
    });
    scalar(P[DV_VIDEORAM], d.videoram != s.videoram, [&]() -> std::optional<std::string> {
        if (d.videoram == 0) return std::nullopt;
        return stmt("VideoRam", num(d.videoram));
    });
    auto base = [&](Group& g, unsigned long v, unsigned long o, const char* kw) {
        scalar(g, v != o, [&]() -> std::optional<std::string> {
            if (v == 0) return std::nullopt;
            return stmt(kw, hex32(v));
        });
    };
    base(P[DV_BIOSBASE], d.bios_base, s.bios_base, "BiosBase");
    base(P[DV_MEMBASE], d.mem_base, s.mem_base, "MemBase");
    base(P[DV_IOBASE], d.io_base, s.io_base, "IOBase");
    auto id = [&](Group& g, int v, int o, const char* kw, bool hex) {
        scalar(g, v != o, [&]() -> std::optional<std::string> {
            if (v == -1) return std::nullopt;
            std::string dec = num(v);   // refuses negative values
            return stmt(kw, hex ? hex32(static_cast<unsigned long>(v)) : dec);
        });
    };
    id(P[DV_CHIPID], d.chipid, s.chipid, "ChipID", true);
    id(P[DV_CHIPREV], d.chiprev, s.chiprev, "ChipRev", true);
    id(P[DV_IRQ], d.irq, s.irq, "IRQ", false);
    opt_str(P[DV_BUSID], d.busid, s.busid, "BusID");
    scalar(P[DV_SCREEN], d.screen != s.screen, [&]() -> std::optional<std::string> {
        if (d.screen <= 0) return std::nullopt;
        return stmt("Screen", num(d.screen));
    });
    option_group(P[DV_OPTIONS], d.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_monitor(const XF86ConfMonitorRec& m, const XF86ConfMonitorRec& s, const Ctx& c)
{
    Plans P(MN_COUNT);
    scalar(P[MN_IDENT], m.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        return stmt("Identifier", q(m.identifier));
    });
    opt_str(P[MN_VENDOR], m.vendor, s.vendor, "VendorName");
    opt_str(P[MN_MODEL], m.model, s.model, "ModelName");
    whole(P[MN_USEMODES], m.usemodes != s.usemodes, [&]() {
        std::vector<std::string> lines;
        for (const std::string& u : m.usemodes)
            lines.push_back(stmt("UseModes", q(u)));
        return lines;
    });
    scalar(P[MN_DISPLAYSIZE], m.width != s.width || m.height != s.height, [&]() -> std::optional<std::string> {
        if (m.width == 0 && m.height == 0) return std::nullopt;
        return stmt("DisplaySize", num(m.width) + " " + num(m.height));
    });
    auto sync = [&](Group& g, const std::vector<XF86ConfRange>& v, const std::vector<XF86ConfRange>& o, const char* kw) {
        whole(g, v != o, [&]() {
            if (v.size() > 8)
                throw WriteError{std::string("a Monitor section has more than 8 ") + kw + " ranges"};
            std::vector<std::string> lines;
            if (!v.empty())
                lines.push_back(stmt(kw, ranges(v)));
            return lines;
        });
    };
    sync(P[MN_HSYNC], m.hsync, s.hsync, "HorizSync");
    sync(P[MN_VREFRESH], m.vrefresh, s.vrefresh, "VertRefresh");
    scalar(P[MN_GAMMA], m.gamma_red != s.gamma_red || m.gamma_green != s.gamma_green || m.gamma_blue != s.gamma_blue,
           [&]() -> std::optional<std::string> {
               if (m.gamma_red == 0 && m.gamma_green == 0 && m.gamma_blue == 0) return std::nullopt;
               if (m.gamma_red == m.gamma_green && m.gamma_red == m.gamma_blue)
                   return stmt("Gamma", real(m.gamma_red));
               return stmt("Gamma", real(m.gamma_red) + " " + real(m.gamma_green) + " " + real(m.gamma_blue));
           });
    const std::string inner = c.inner, nl = c.nl;
    elements(P[MN_MODELINES], m.modelines, c.owner, c.body ? &s.modelines : nullptr,
             [&](const XF86ConfModeLineRec& e, const XF86ConfModeLineRec* orig, Elem& el) {
                 with_comment(e, orig, el, modeline_text(e, inner, nl));
             });
    option_group(P[MN_OPTIONS], m.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_screen(const XF86ConfScreenRec& sc, const XF86ConfScreenRec& s, const Ctx& c)
{
    Plans P(SC_COUNT);
    scalar(P[SC_IDENT], sc.identifier != s.identifier || sc.obsolete_driver != s.obsolete_driver || !c.body,
           [&]() -> std::optional<std::string> {
               // Never both: the server refuses a Screen with Identifier and Driver.
               if (sc.obsolete_driver && (sc.identifier.empty() || sc.identifier == *sc.obsolete_driver))
                   return stmt("Driver", q(*sc.obsolete_driver));
               return stmt("Identifier", q(sc.identifier));
           });
    opt_str(P[SC_DEVICE], sc.device_name, s.device_name, "Device");
    opt_str(P[SC_MONITOR], sc.monitor_name, s.monitor_name, "Monitor");
    auto positive = [&](Group& g, int v, int o, const char* kw) {
        scalar(g, v != o, [&]() -> std::optional<std::string> {
            if (v == 0) return std::nullopt;
            return stmt(kw, num(v));
        });
    };
    positive(P[SC_DEPTH], sc.defaultdepth, s.defaultdepth, "DefaultDepth");
    positive(P[SC_BPP], sc.defaultbpp, s.defaultbpp, "DefaultBPP");
    positive(P[SC_FBBPP], sc.defaultfbbpp, s.defaultfbbpp, "DefaultFbBPP");
    whole(P[SC_ADAPTORS], sc.adaptors != s.adaptors, [&]() {
        std::vector<std::string> lines;
        for (const std::string& a : sc.adaptors)
            lines.push_back(stmt("VideoAdaptor", q(a)));
        return lines;
    });
    option_group(P[SC_OPTIONS], sc.options, c.owner, c.body ? &s.options : nullptr);
    elements(P[SC_DISPLAYS], sc.displays, c.owner, c.body ? &s.displays : nullptr,
             [&](const XF86ConfDisplayRec& d, const XF86ConfDisplayRec* orig, Elem& el) {
                 static const XF86ConfDisplayRec blank;
                 const Body* body = orig && orig->src.get() ? orig->src.get()->body.get() : nullptr;
                 Ctx sub = nested(c, d.src.get(), body);
                 el.text = write_display(d, body ? *orig : blank, sub);
                 el.keep_trailing = true;
                 el.spliced = body != nullptr;
             });
    return P;
}

Plans plan_layout(const XF86ConfLayoutRec& l, const XF86ConfLayoutRec& s, const Ctx& c)
{
    Plans P(LY_COUNT);
    scalar(P[LY_IDENT], l.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        return stmt("Identifier", q(l.identifier));
    });
    elements(P[LY_SCREENS], l.adjacencies, c.owner, c.body ? &s.adjacencies : nullptr,
             [](const XF86ConfAdjacencyRec& a, const XF86ConfAdjacencyRec* orig, Elem& el) {
                 with_comment(a, orig, el, adjacency_text(a));
             });
    elements(P[LY_INACTIVE], l.inactives, c.owner, c.body ? &s.inactives : nullptr,
             [](const XF86ConfInactiveRec& a, const XF86ConfInactiveRec* orig, Elem& el) {
                 with_comment(a, orig, el, stmt("Inactive", q(a.device_name)));
             });
    elements(P[LY_INPUTS], l.inputs, c.owner, c.body ? &s.inputs : nullptr,
             [](const XF86ConfInputrefRec& a, const XF86ConfInputrefRec* orig, Elem& el) {
                 with_comment(a, orig, el, inputref_text(a));
             });
    option_group(P[LY_OPTIONS], l.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_module(const XF86ConfModuleRec& m, const XF86ConfModuleRec& s, const Ctx& c)
{
    Plans P(MD_COUNT);
    const std::string inner = c.inner, nl = c.nl;
    elements(P[MD_LOADS], m.loads, c.owner, c.body ? &s.loads : nullptr,
             [&](const XF86LoadRec& l, const XF86LoadRec* orig, Elem& el) {
                 with_comment(l, orig, el, load_text(l, inner, nl));
             });
    return P;
}

Plans plan_flags(const XF86ConfFlagsRec& f, const XF86ConfFlagsRec& s, const Ctx& c)
{
    Plans P(FL_COUNT);
    option_group(P[FL_OPTIONS], f.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

Plans plan_generic(const XF86GenericSectionRec& g, const XF86GenericSectionRec& s, const Ctx& c)
{
    const XF86SectionKind k = g.kind;
    if (!g.options.empty() && (k == XF86SectionKind::Files || k == XF86SectionKind::DRI ||
                                k == XF86SectionKind::Modes || k == XF86SectionKind::Other))
        throw WriteError{std::string("a ") + kind_name(k) + " section cannot hold Option lines"};
    if (kind_has_identifier(k) && !g.identifier)
        throw WriteError{std::string("a ") + kind_name(k) + " section needs an Identifier"};
    Plans P(GN_COUNT);
    scalar(P[GN_IDENT], g.identifier != s.identifier || !c.body, [&]() -> std::optional<std::string> {
        if (!g.identifier || !kind_has_identifier(g.kind)) return std::nullopt;
        return stmt("Identifier", q(*g.identifier));
    });
    option_group(P[GN_OPTIONS], g.options, c.owner, c.body ? &s.options : nullptr);
    return P;
}

template <class T>
std::string run_section(const T& cur, const XF86SectionRec* snap, Ctx c, Plans (*plan)(const T&, const T&, const Ctx&),
                        const std::string& head)
{
    const T* old = snap ? dynamic_cast<const T*>(snap) : nullptr;
    std::unique_ptr<T> blank;
    if (!old) {
        c.text = nullptr;
        c.body = nullptr;
        if constexpr (std::is_constructible_v<T, XF86SectionKind>)
            blank = std::make_unique<T>(cur.kind);
        else
            blank = std::make_unique<T>();
        old = blank.get();
    }
    Plans P = plan(cur, *old, c);
    return finish(c, P, cur.comment, c.body ? old->comment : std::nullopt, head, "EndSection");
}

// Writes a section from 'Section' to 'EndSection'; `snap` is the section as
// read (null for a new section).
std::string write_section(const XF86SectionRec& sec, const XF86SectionRec* snap, const std::string* text, const std::string& nl)
{
    Ctx c;
    c.text = snap ? text : nullptr;
    c.body = snap && snap->src.get() ? snap->src.get()->body.get() : nullptr;
    if (!c.body)
        c.text = nullptr;
    c.owner = sec.src.get();
    c.nl = nl;
    c.inner = c.body && text ? detect_inner(*text, c.body, "    ") : std::string("    ");
    const std::string name = kind_name(sec.kind);
    const std::string head = "Section " + q(sec.section_name.empty() ? name : sec.section_name);
    if (auto* d = dynamic_cast<const XF86ConfDeviceRec*>(&sec)) return run_section(*d, snap, c, plan_device, head);
    if (auto* m = dynamic_cast<const XF86ConfMonitorRec*>(&sec)) return run_section(*m, snap, c, plan_monitor, head);
    if (auto* s = dynamic_cast<const XF86ConfScreenRec*>(&sec)) return run_section(*s, snap, c, plan_screen, head);
    if (auto* l = dynamic_cast<const XF86ConfLayoutRec*>(&sec)) return run_section(*l, snap, c, plan_layout, head);
    if (auto* m = dynamic_cast<const XF86ConfModuleRec*>(&sec)) return run_section(*m, snap, c, plan_module, head);
    if (auto* f = dynamic_cast<const XF86ConfFlagsRec*>(&sec)) return run_section(*f, snap, c, plan_flags, head);
    if (auto* g = dynamic_cast<const XF86GenericSectionRec*>(&sec)) return run_section(*g, snap, c, plan_generic, head);
    throw WriteError{"a section of an unknown type"};
}

bool ends_with_blank_line(const std::string& s)
{
    std::size_t n = s.size();
    if (n == 0)
        return true;
    auto nl_before = [&](std::size_t end) -> std::size_t {   // length of the line end before `end`
        if (end >= 2 && s[end - 2] == '\r' && s[end - 1] == '\n') return 2;
        if (end >= 1 && (s[end - 1] == '\n' || s[end - 1] == '\r')) return 1;
        return 0;
    };
    std::size_t a = nl_before(n);
    if (!a)
        return false;
    return nl_before(n - a) > 0;
}

bool render(XF86ConfigPtr tree, std::string& result)
{
    if (!tree)
        return false;
    const SourceInfo* ti = tree->src.get();
    const std::string nl = ti && !ti->newline.empty() ? ti->newline : "\n";
    Out out(nl);
    try {
        for (const auto& sp : tree->sections) {
            if (!sp)
                continue;
            const XF86SectionRec& sec = *sp;
            const SourceInfo* si = sec.src.get();
            std::unique_ptr<XF86SectionRec> snap;
            if (si && si->text)
                snap = reparse_section(si->text, si->begin, si->text_has_nul);
            if (snap && snap->kind == sec.kind && snap->src.get() && snap->src.get()->body) {
                const std::string& t = *si->text;
                if (section_equal(sec, *snap)) {
                    out.copy(t, si->pre, si->tail);
                    continue;
                }
                const Body& b = *snap->src.get()->body;
                out.copy(t, si->pre, si->begin);
                out.splice(write_section(sec, snap.get(), &t, nl), &t, si->begin, b.end_end);
                out.copy(t, b.end_end, si->tail);
            } else {
                const std::string& o = out.str();
                if (!o.empty()) {
                    if (o.back() != '\n' && o.back() != '\r')
                        out.add(nl);
                    if (!ends_with_blank_line(out.str()))
                        out.add(nl);
                }
                out.add(write_section(sec, nullptr, nullptr, nl) + nl);
            }
        }
        // The text after the last section still follows it when that section
        // is the one it followed.
        const std::string* t = ti && ti->text ? ti->text.get() : nullptr;
        if (t && ti->tail <= t->size() && t->compare(ti->tail, std::string::npos, tree->trailing_text) == 0)
            out.splice(tree->trailing_text, t, ti->tail, t->size());
        else
            out.add(tree->trailing_text);
    } catch (const WriteError& e) {
        ErrorF("Cannot write the configuration: %s.\n", e.msg.c_str());
        return false;
    }
    result = out.take();
    return true;
}

}  // namespace

std::string xf86writeConfigText(XF86ConfigPtr tree)
{
    std::string out;
    if (!render(tree, out))
        return std::string();
    return out;
}

int xf86writeConfigFile(const char* filename, XF86ConfigPtr tree)
{
    if (!filename || !tree)
        return 0;
    std::string out;
    if (!render(tree, out))
        return 0;
    // No symbolic links, only plain files of our own: the file may sit in a
    // world-writable directory. Truncate only after those checks.
    int fd = ::open(filename, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        ErrorF("Unable to open %s for writing.\n", filename);
        return 0;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || ftruncate(fd, 0) != 0) {
        ErrorF("Refusing to write %s: not a plain file of this user.\n", filename);
        ::close(fd);
        return 0;
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < out.size()) {
        ssize_t w = ::write(fd, out.data() + done, out.size() - done);
        if (w < 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(w);
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        ErrorF("Writing %s failed.\n", filename);
    return ok ? 1 : 0;
}
