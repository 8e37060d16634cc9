// Private parts of the writer shared by its files: the output that joins
// pieces of file text and new text, the per-statement-kind plans, the value
// formatting and the body writer.
#pragma once

#include "xf86config/internal.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvx::xf86config::detail::write {

struct WriteError { std::string msg; };

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
    void reserve(std::size_t n) { m_out.reserve(n); }
    const std::string& str() const { return m_out; }
    std::string take() { return std::move(m_out); }

private:
    void seam(std::string_view next);

    std::string m_nl;
    std::string m_out;
    const std::string* m_text = nullptr;   // where the output ends in a file text, if it does
    std::size_t m_at = 0;
};

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
// (write_values.cpp; each throws WriteError for what the format cannot hold)

std::string q(std::string_view s);              // a quoted string
std::string num(int v);                           // a non-negative integer
std::string hex32(unsigned long v);               // 0x..., 32 bits
std::string mhz(int khz);                         // kHz as MHz, exactly
std::string real(float v);                        // a non-negative real
std::string stmt(const char* kw, const std::string& args);   // keyword, padded, then args
std::string comment_text(std::string_view c);   // '#' put in front when missing
std::string ranges(const std::vector<XF86ConfRange>& v);
std::string unit_of(const std::string& inner);    // one level of indentation

std::string option_text(const XF86OptionRec& o);
std::string modeline_text(const XF86ConfModeLineRec& m, const std::string& inner, const std::string& nl);
std::string adjacency_text(const XF86ConfAdjacencyRec& a);
std::string inputref_text(const XF86ConfInputrefRec& r);
std::string load_text(const XF86LoadRec& l, const std::string& inner, const std::string& nl);

// ---------------------------------------------------------------- bodies
// (write_body.cpp)

// The indentation of the body's statements, or `fallback`.
std::string detect_inner(const std::string& t, const Body* b, const std::string& fallback);

// A body as read, with the plans' changes: unchanged statements copied from
// `text`, changed ones rewritten, new ones put beside their kind.
std::string rewrite_body(const std::string& text, const Body& body, Plans& plans, std::string inner,
                         std::string nl, bool comment_changed, const XF86OptionalText& comment);

// A body written from nothing: the head line, the comment, every group, the end keyword.
std::string fresh_body(const std::string& head, const XF86OptionalText& comment, Plans& plans,
                       const std::string& base, const std::string& inner, const std::string& nl, const char* end);

// ---------------------------------------------------------------- sections
// (write_plans.cpp)

// Writes a section from 'Section' to 'EndSection'; `snap` is the section as
// read (null for a new section).
std::string write_section(const XF86SectionRec& sec, const XF86SectionRec* snap, const std::string* text,
                          const std::string& nl);

// The whole tree (write_tree.cpp); false after reporting what cannot be written.
bool render(XF86ConfigPtr tree, std::string& result);

}  // namespace cvx::xf86config::detail::write
