// Private parts of the configuration library shared by the parser, the
// writer and the tree helpers.
#pragma once

#include "xf86config/xf86config.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvx::xf86config::detail {

// One statement of a section or subsection body, as byte offsets into the
// file text: [lead, begin) is what precedes it (blank lines, comment lines,
// indentation), [begin, end) its tokens, [end, trail) the rest of its line
// (blanks, a comment, the line terminator) when nothing else follows there.
struct Item {
    std::size_t lead = 0, begin = 0, end = 0, trail = 0;
    int group = 0;
};

// A section, subsection or Mode block: its opening line, its statements and
// its closing keyword.
struct Body {
    std::size_t head_begin = 0, head_end = 0;
    std::vector<Item> items;
    std::size_t end_lead = 0, end_begin = 0, end_end = 0;
    // Statements (index; items.size() for the end keyword) whose keyword is a
    // quoted string that counts as a keyword only right after a one-value
    // Gamma or a short DacSpeed (the server's push-back quirk): the keyword's
    // token ends at `end` and reads `word`. Rewritten as a bareword once the
    // body changes, so that it keeps its meaning wherever it ends up.
    struct Glued { std::size_t index; std::size_t end; std::string word; };
    std::vector<Glued> glued;
};

inline std::string_view newline_text(Newline nl)
{
    return nl == Newline::CRLF ? "\r\n" : nl == Newline::CR ? "\r" : "\n";
}

// A body kept for the writer, in a re-parsed copy.
inline BodyPtr keep_body(Body&& b) { return BodyPtr(new Body(std::move(b))); }

// `s` between double quotes, as messages and the file show texts.
inline std::string quoted(std::string_view s)
{
    std::string q;
    q.reserve(s.size() + 2);
    q += '"';
    q += s;
    q += '"';
    return q;
}

// The serial number of a body read, the identity its statements name as
// their owner (SourceRef::owner; Place::id, SourceNode::id): unique among the
// records alive unless four thousand million were made since, and even then a
// wrong match costs only layout, for the writer compares what a statement
// says before it copies its text. Never 0.
//
// A section still as read (same fingerprint) is copied as it stands; for any
// other, the writer re-parses the section's own text to learn what it looked
// like when it was read (the bodies of the re-parsed copy), so nothing else
// needs to be kept per record.
std::uint32_t next_source_id();

// Group ids of the statements of each body kind. Group 0 is kept verbatim.
// The order of the ids is the order new content is written in.
enum : int { G_KEEP = 0 };

// Parses the section that starts at `offset` of `text` again, keeping the
// bodies of the section and its subsections. Null if it does not parse.
std::unique_ptr<XF86SectionRec> reparse_section(const std::shared_ptr<const std::string>& text,
                                                std::size_t offset, bool text_has_nul);

// The comment of the section that starts at `offset` of `text`, read again.
XF86OptionalText read_section_comment(const std::shared_ptr<const std::string>& text, std::size_t offset,
                                      bool text_has_nul);

// An empty string with room for `size` bytes, ready to be written quickly.
std::string text_with_room(std::size_t size);

// The largest text the parser takes: its offsets are kept in 32 bits.
inline constexpr std::size_t kMaxTextSize = UINT32_MAX;

// xf86parseConfigText on a text the parser may keep as it is.
XF86ConfigPtr parse_text(std::string text, const char* filename);

// Structural equality of two sections (layout, links and bookkeeping ignored).
bool section_equal(const XF86SectionRec& a, const XF86SectionRec& b);
// A hash of what section_equal compares; 0 for a record it does not know.
std::uint64_t section_fingerprint(const XF86SectionRec& sec);

// A key equal for two names exactly when xf86nameCompare finds them equal.
std::string name_key(std::string_view name);

// Which section kinds have an Identifier keyword.
bool kind_has_identifier(XF86SectionKind kind);
const char* kind_name(XF86SectionKind kind);

}  // namespace cvx::xf86config::detail

namespace cvx::xf86config::detail {

// Statement groups per body kind (see G_KEEP).
enum : int {
    DV_IDENT = 1, DV_DRIVER, DV_VENDOR, DV_BOARD, DV_CHIPSET, DV_CARD, DV_RAMDAC, DV_CLOCKCHIP,
    DV_DACSPEED, DV_CLOCKS, DV_VIDEORAM, DV_BIOSBASE, DV_MEMBASE, DV_IOBASE, DV_CHIPID,
    DV_CHIPREV, DV_IRQ, DV_BUSID, DV_SCREEN, DV_OPTIONS, DV_COUNT
};
enum : int {
    MN_IDENT = 1, MN_VENDOR, MN_MODEL, MN_USEMODES, MN_DISPLAYSIZE, MN_HSYNC, MN_VREFRESH,
    MN_GAMMA, MN_MODELINES, MN_OPTIONS, MN_COUNT
};
enum : int {
    SC_IDENT = 1, SC_DEVICE, SC_MONITOR, SC_DEPTH, SC_BPP, SC_FBBPP, SC_ADAPTORS, SC_OPTIONS,
    SC_DISPLAYS, SC_COUNT
};
enum : int {
    DS_DEPTH = 1, DS_FBBPP, DS_VISUAL, DS_WEIGHT, DS_BLACK, DS_WHITE, DS_MODES, DS_VIRTUAL,
    DS_VIEWPORT, DS_OPTIONS, DS_COUNT
};
enum : int { LY_IDENT = 1, LY_SCREENS, LY_INACTIVE, LY_INPUTS, LY_OPTIONS, LY_COUNT };
enum : int { MD_LOADS = 1, MD_COUNT };
enum : int { FL_OPTIONS = 1, FL_COUNT };
enum : int { GN_IDENT = 1, GN_OPTIONS, GN_COUNT };
enum : int { LS_OPTIONS = 1, LS_COUNT };

}  // namespace cvx::xf86config::detail
