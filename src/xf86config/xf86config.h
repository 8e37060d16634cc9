// Public interface of our X server configuration-file library: the tree the
// program edits, the parser that builds it and the lossless writer.
//
// Contract:
// - The tree owns every record and every text; pointers into it (links,
//   returned names) stay valid until the part of the tree they point into is
//   changed or the tree is freed with xf86freeConfig.
// - Sections keep their file order. Sections of a kind the program does not
//   model are kept whole and written back as they stood.
// - A section whose content still equals what was parsed is written back byte
//   for byte. In a changed section, every statement that still says the same
//   is copied as it stood (layout, comment, line end); a changed statement is
//   rewritten in the section's indentation and keyword spelling, keeping its
//   line's comment while that is unchanged; removed statements go with their
//   line; new ones follow the last statement of their kind, or end the
//   section. Only new sections get one clean layout.
// - Not kept: a section's own-line comments once its comment is replaced (the
//   new one is written instead); comments inside a body holding NUL bytes are
//   not modelled, they stay as they stand. Where pieces that did not stand
//   together come to meet, a line break may be put in so that they still
//   read as the same tokens.
// - Texts that may be absent in the file are std::optional, or, where most
//   records lack them (comments, most Device names), XF86OptionalText, which
//   reads the same except that `*x` is a view of the text; integer fields use
//   the sentinel given beside them for "not given".
// - Names are compared with xf86nameCompare (letter case, blanks, tabs and
//   underscores ignored) wherever the X server does so.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Diagnostics: declared here, defined by every user of the library (the
// program, the command-line tool, each test binary).
void ErrorF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void VErrorF(const char* format, va_list args);

namespace cvx::xf86config::detail {
struct Body;           // the parser's record of a body's statements, in a re-parsed copy
struct BodyDeleter { void operator()(Body*) const noexcept; };
using BodyPtr = std::unique_ptr<Body, BodyDeleter>;

// Opaque bookkeeping the writer uses to reproduce unchanged input. A copy of
// an item does not take it along (a copy is new content), and equality never
// looks at it.
template <class T>
class Uncopied {
public:
    Uncopied() = default;
    Uncopied(const Uncopied&) noexcept {}
    Uncopied& operator=(const Uncopied&) noexcept { v = T(); return *this; }
    Uncopied(Uncopied&&) noexcept = default;
    Uncopied& operator=(Uncopied&&) noexcept = default;
    bool operator==(const Uncopied&) const noexcept { return true; }
    T v;
};

// A statement's: the serial number of the body it was read from and its index
// there (kept in place and small, for statements are many).
class SourceRef {
public:
    std::uint32_t owner() const noexcept { return m.v.owner; }   // 0: not read from a body
    int item() const noexcept { return m.v.item; }
    void set_origin(std::uint32_t owner, int item) noexcept { m.v = {owner, item}; }
    bool operator==(const SourceRef&) const noexcept = default;
private:
    struct Origin { std::uint32_t owner = 0; int item = -1; };
    Uncopied<Origin> m;
};

// A subsection's: where it was read, the serial number its own statements
// carry as their owner, and in a re-parsed copy its body.
class SourceNode {
public:
    const Body* body() const noexcept { return m.v.body.get(); }
    void set_body(BodyPtr body) noexcept { m.v.body = std::move(body); }
    std::uint32_t id() const noexcept { return m.v.id; }          // 0: its statements were not read
    void set_id(std::uint32_t id) noexcept { m.v.id = id; }
    std::uint32_t owner() const noexcept { return m.v.origin.owner(); }
    int item() const noexcept { return m.v.origin.item(); }
    void set_origin(std::uint32_t owner, int item) noexcept { m.v.origin.set_origin(owner, item); }
    bool operator==(const SourceNode&) const noexcept = default;
private:
    struct Data {
        BodyPtr body;
        SourceRef origin;
        std::uint32_t id = 0;
    };
    Uncopied<Data> m;
};

// A file's line terminator.
enum class Newline : std::uint8_t { LF, CRLF, CR };

// Where a section, or the whole tree, stands in its file text. In the record
// itself, for there is one per section: offsets are 32 bits, as the parser
// takes no text of 4 GiB or more.
struct Place {
    std::shared_ptr<const std::string> text;  // null: no place (new content)
    std::uint32_t pre = 0;                    // sections: start of the text before 'Section'
    std::uint32_t begin = 0;                  // sections: the 'Section' keyword
    std::uint32_t tail = 0;                   // sections: end of the EndSection line; the tree: start of the trailing text
    std::uint32_t id = 0;                     // sections: the serial number their statements carry; 0 = none
    std::uint64_t fingerprint = 0;            // sections: the fingerprint of the section as read; 0 = none
    Newline newline = Newline::LF;            // the tree: the file's line terminator
    bool text_has_nul = false;                // sections: the text holds NUL bytes
    bool comment_as_read = false;             // sections: the comment is still the one in the text
};

// A section's or the tree's: its place and, in a re-parsed copy, its body.
class SourcePlace {
public:
    const Place* place() const noexcept { return m.v.place.text ? &m.v.place : nullptr; }   // null: new content
    Place& edit_place() noexcept { return m.v.place; }
    std::uint32_t id() const noexcept { return m.v.place.id; }
    const Body* body() const noexcept { return m.v.body.get(); }
    void set_body(BodyPtr body) noexcept { m.v.body = std::move(body); }
    bool operator==(const SourcePlace&) const noexcept = default;
private:
    struct Data {
        Place place;
        BodyPtr body;
    };
    Uncopied<Data> m;
};
}  // namespace cvx::xf86config::detail

// ---------------------------------------------------------------- optional texts

// The text an XF86OptionalText holds, read in place: a string view that also
// gives the NUL-terminated form and converts to std::string.
class XF86Text : public std::string_view {
public:
    const char* c_str() const noexcept { return data(); }   // the stored text ends with a NUL
    operator std::string() const { return std::string(static_cast<std::string_view>(*this)); }
private:
    friend class XF86OptionalText;   // the only maker, so that c_str() always holds
    XF86Text(const char* text, std::size_t size) noexcept : std::string_view(text, size) {}
};

// A text most records lack, such as a comment: one pointer until it is given,
// then one block holding its length and bytes. Reads like
// std::optional<std::string> (`if (x)`, `*x`, `x->`, `value_or`, `==`), except
// that `*x` is a view of the text rather than a std::string.
class XF86OptionalText {
public:
    XF86OptionalText() noexcept = default;
    XF86OptionalText(std::nullopt_t) noexcept {}
    XF86OptionalText(std::string_view text) { assign(text); }
    XF86OptionalText(const std::string& text) { assign(text); }
    XF86OptionalText(const char* text)   // null: absent
    {
        if (text)
            assign(text);
    }
    XF86OptionalText(const std::optional<std::string>& text)
    {
        if (text)
            assign(*text);
    }
    XF86OptionalText(const XF86OptionalText& o)
    {
        if (o)
            assign(*o);
    }
    XF86OptionalText(XF86OptionalText&&) noexcept = default;
    XF86OptionalText& operator=(const XF86OptionalText& o)
    {
        if (this != &o) {
            if (o)
                assign(*o);
            else
                reset();
        }
        return *this;
    }
    XF86OptionalText& operator=(XF86OptionalText&&) noexcept = default;

    bool has_value() const noexcept { return m_block != nullptr; }
    explicit operator bool() const noexcept { return has_value(); }
    XF86Text operator*() const noexcept
    {
        std::size_t size;
        std::memcpy(&size, m_block.get(), sizeof size);
        return XF86Text(m_block.get() + sizeof size, size);
    }
    // `x->size()`, `x->c_str()`: the view, held for the length of the expression.
    struct Arrow {
        XF86Text text;
        const XF86Text* operator->() const noexcept { return &text; }
    };
    Arrow operator->() const noexcept { return Arrow{**this}; }
    std::string value_or(std::string_view absent) const { return std::string(m_block ? **this : absent); }
    void reset() noexcept { m_block.reset(); }
    friend bool operator==(const XF86OptionalText& a, const XF86OptionalText& b)
    {
        return a ? b && *a == *b : !b;
    }

private:
    void assign(std::string_view text)
    {
        const std::size_t size = text.size();
        auto block = std::make_unique_for_overwrite<char[]>(sizeof size + size + 1);
        std::memcpy(block.get(), &size, sizeof size);
        if (size)
            std::memcpy(block.get() + sizeof size, text.data(), size);
        block[sizeof size + size] = '\0';
        m_block = std::move(block);
    }
    std::unique_ptr<char[]> m_block;   // the length, the bytes, a NUL
};

// ---------------------------------------------------------------- options

struct XF86OptionRec {
    std::string name;
    std::optional<std::string> value;    // nullopt: Option "name" without a value
    XF86OptionalText comment;  // end-of-line comment, '#' included
    cvx::xf86config::detail::SourceRef src;
    bool operator==(const XF86OptionRec&) const = default;
};
// Options in file order. Appending may move the records: do not keep pointers
// across an append.
using XF86OptionList = std::vector<XF86OptionRec>;

// ---------------------------------------------------------------- sections

enum class XF86SectionKind {
    Files, ServerFlags, Module, Extensions, InputDevice, InputClass, OutputClass,
    Device, VideoAdaptor, Monitor, Modes, Screen, ServerLayout, DRI, Vendor,
    Other  // any other section the server accepts (legacy Pointer/Keyboard, ...)
};

struct XF86SectionRec {
    explicit XF86SectionRec(XF86SectionKind k) : kind(k) {}
    virtual ~XF86SectionRec() = default;
    XF86SectionRec(const XF86SectionRec& o);             // the copy holds the comment itself
    XF86SectionRec& operator=(const XF86SectionRec& o);

    XF86SectionKind kind;
    // As written after Section (e.g. "device") where that is not the kind's own
    // spelling; absent for new sections and for those spelled that way.
    XF86OptionalText section_name;
    cvx::xf86config::detail::SourcePlace src;

    // The comment lines inside the section that are not attached elsewhere,
    // joined by '\n'. A section read from a file leaves them in the file text
    // until they are asked for, and then reads them from there each time.
    XF86OptionalText comment() const;
    void set_comment(XF86OptionalText text);
    // Whether the comment is still the one the section was read with.
    bool comment_as_read() const noexcept
    {
        const cvx::xf86config::detail::Place* p = src.place();
        return p && p->comment_as_read;
    }
    // The comment given to the section; meaningful when not comment_as_read().
    const XF86OptionalText& given_comment() const noexcept { return m_comment; }

private:
    XF86OptionalText m_comment;
};

// Sections the program does not edit: parsed for checking, kept as text.
struct XF86GenericSectionRec : XF86SectionRec {
    using XF86SectionRec::XF86SectionRec;
    std::optional<std::string> identifier;
    XF86OptionList options;
};

struct XF86ConfModeLineRec {
    std::string identifier;
    int clock = 0;                       // kHz
    int hdisplay = 0, hsyncstart = 0, hsyncend = 0, htotal = 0;
    int vdisplay = 0, vsyncstart = 0, vsyncend = 0, vtotal = 0;
    int vscan = 0;
    int flags = 0;                       // XF86CONF_* below
    int hskew = 0;
    bool is_block = false;               // written as Mode ... EndMode instead of ModeLine
    XF86OptionalText comment;
    cvx::xf86config::detail::SourceRef src;
    bool operator==(const XF86ConfModeLineRec&) const = default;
};
using XF86ConfModeLinePtr = XF86ConfModeLineRec*;

// Mode flags; the same values as the VidMode extension's.
enum : int {
    XF86CONF_PHSYNC = 0x0001, XF86CONF_NHSYNC = 0x0002, XF86CONF_PVSYNC = 0x0004,
    XF86CONF_NVSYNC = 0x0008, XF86CONF_INTERLACE = 0x0010, XF86CONF_DBLSCAN = 0x0020,
    XF86CONF_CSYNC = 0x0040, XF86CONF_PCSYNC = 0x0080, XF86CONF_NCSYNC = 0x0100,
    XF86CONF_HSKEW = 0x0200, XF86CONF_BCAST = 0x0400, XF86CONF_VSCAN = 0x1000,
};

// The most clocks a Device section holds, as the server reads them.
inline constexpr std::size_t XF86_MAX_CLOCKS = 128;

struct XF86ConfDeviceRec : XF86SectionRec {
    XF86ConfDeviceRec() : XF86SectionRec(XF86SectionKind::Device) {}
    std::string identifier;
    XF86OptionalText vendor, board, chipset, busid, card, driver, ramdac, clockchip;
    int dacSpeeds[4] = {0, 0, 0, 0};     // kHz; 0 = not given
    int videoram = 0;                    // 0 = not given
    int textclockfreq = 0;               // 0 = not given
    unsigned long bios_base = 0, mem_base = 0, io_base = 0;  // 0 = not given
    std::vector<int> clocks;             // kHz; at most XF86_MAX_CLOCKS
    int chipid = -1, chiprev = -1, irq = -1;                 // -1 = not given
    int screen = 0;                      // the Screen keyword; written only when above 0
    XF86OptionList options;
};
using XF86ConfDevicePtr = XF86ConfDeviceRec*;

struct XF86ConfRange { float lo = 0, hi = 0; bool operator==(const XF86ConfRange&) const = default; };

struct XF86ConfMonitorRec : XF86SectionRec {
    XF86ConfMonitorRec() : XF86SectionRec(XF86SectionKind::Monitor) {}
    std::string identifier;
    XF86OptionalText vendor, model;
    int width = 0, height = 0;           // DisplaySize in mm; 0 = not given
    std::vector<XF86ConfRange> hsync;    // kHz
    std::vector<XF86ConfRange> vrefresh; // Hz
    float gamma_red = 0, gamma_green = 0, gamma_blue = 0;    // 0 = not given
    std::vector<XF86ConfModeLineRec> modelines;
    std::vector<std::string> usemodes;   // UseModes references, in order
    XF86OptionList options;
};
using XF86ConfMonitorPtr = XF86ConfMonitorRec*;

struct XF86ConfDisplayRec {
    int frame_x0 = -1, frame_y0 = -1;    // ViewPort; -1 = not given
    int virtual_x = 0, virtual_y = 0;    // Virtual; 0 = not given
    int depth = 0;                       // 0 = no Depth line
    int bpp = 0;                         // FbBPP; 0 = not given
    XF86OptionalText visual;
    int weight_red = 0, weight_green = 0, weight_blue = 0;  // 0 = not given
    int black_red = -1, black_green = -1, black_blue = -1;  // -1 = not given
    int white_red = -1, white_green = -1, white_blue = -1;  // -1 = not given
    std::vector<std::string> modes;      // the Modes list, in order
    XF86OptionList options;
    XF86OptionalText comment;
    cvx::xf86config::detail::SourceNode src;
    bool operator==(const XF86ConfDisplayRec&) const = default;
};
using XF86ConfDisplayPtr = XF86ConfDisplayRec*;

struct XF86ConfScreenRec : XF86SectionRec {
    XF86ConfScreenRec() : XF86SectionRec(XF86SectionKind::Screen) {}
    std::string identifier;
    XF86OptionalText obsolete_driver;   // the old Driver keyword of Screen sections
    int defaultdepth = 0, defaultbpp = 0, defaultfbbpp = 0; // 0 = not given
    std::optional<std::string> monitor_name;
    XF86ConfMonitorPtr monitor = nullptr;         // link, set by the parser and by the program
    std::optional<std::string> device_name;
    XF86ConfDevicePtr device = nullptr;           // link
    std::vector<std::string> adaptors;            // VideoAdaptor references
    std::vector<XF86ConfDisplayRec> displays;     // Display subsections, in order
    XF86OptionList options;
};
using XF86ConfScreenPtr = XF86ConfScreenRec*;

// The relation of a ServerLayout Screen line.
enum : int {
    CONF_ADJ_OBSOLETE = -1,  // the older four-neighbour form
    CONF_ADJ_ABSOLUTE = 0,   // no relation (optionally with x y)
    CONF_ADJ_RIGHTOF = 1, CONF_ADJ_LEFTOF = 2, CONF_ADJ_ABOVE = 3, CONF_ADJ_BELOW = 4,
    CONF_ADJ_RELATIVE = 5,
};

struct XF86ConfAdjacencyRec {
    int scrnum = -1;                              // -1 = no screen number
    std::string screen_name;
    XF86ConfScreenPtr screen = nullptr;           // link
    int where = CONF_ADJ_ABSOLUTE;
    XF86OptionalText refscreen;         // reference screen of RightOf .. Relative
    int x = 0, y = 0;                             // Absolute / Relative offsets
    bool has_position = false;                    // x y were written (or are to be written)
    // The older four-neighbour form: top, bottom, left, right.
    XF86OptionalText top, bottom, left, right;
    XF86ConfScreenPtr top_screen = nullptr, bottom_screen = nullptr;
    XF86ConfScreenPtr left_screen = nullptr, right_screen = nullptr;
    XF86OptionalText comment;
    cvx::xf86config::detail::SourceRef src;
    bool operator==(const XF86ConfAdjacencyRec& o) const;  // compares names and values, not links
};

struct XF86ConfInactiveRec {
    std::string device_name;
    XF86ConfDevicePtr device = nullptr;           // link
    XF86OptionalText comment;
    cvx::xf86config::detail::SourceRef src;
    bool operator==(const XF86ConfInactiveRec& o) const { return device_name == o.device_name && comment == o.comment; }
};

struct XF86ConfInputrefRec {
    std::string name;
    std::vector<std::string> options;             // "CorePointer", "CoreKeyboard", "SendCoreEvents", ...
    XF86OptionalText comment;
    cvx::xf86config::detail::SourceRef src;
    bool operator==(const XF86ConfInputrefRec&) const = default;
};

struct XF86ConfLayoutRec : XF86SectionRec {
    XF86ConfLayoutRec() : XF86SectionRec(XF86SectionKind::ServerLayout) {}
    std::string identifier;
    std::vector<XF86ConfAdjacencyRec> adjacencies;  // Screen lines, in order
    std::vector<XF86ConfInactiveRec> inactives;
    std::vector<XF86ConfInputrefRec> inputs;
    XF86OptionList options;
};
using XF86ConfLayoutPtr = XF86ConfLayoutRec*;

enum : int { XF86_LOAD_MODULE = 0, XF86_LOAD_DRIVER = 1, XF86_DISABLE_MODULE = 2 };

struct XF86LoadRec {
    int type = XF86_LOAD_MODULE;                  // Load / LoadDriver / Disable
    std::string name;
    bool is_subsection = false;                   // SubSection "name" ... EndSubSection
    XF86OptionList options;                       // options of a SubSection
    XF86OptionalText comment;
    cvx::xf86config::detail::SourceNode src;
    bool operator==(const XF86LoadRec&) const = default;
};

struct XF86ConfModuleRec : XF86SectionRec {
    XF86ConfModuleRec() : XF86SectionRec(XF86SectionKind::Module) {}
    std::vector<XF86LoadRec> loads;
};
using XF86ConfModulePtr = XF86ConfModuleRec*;

struct XF86ConfFlagsRec : XF86SectionRec {
    XF86ConfFlagsRec() : XF86SectionRec(XF86SectionKind::ServerFlags) {}
    XF86OptionList options;
};
using XF86ConfFlagsPtr = XF86ConfFlagsRec*;

// ---------------------------------------------------------------- the tree

struct XF86ConfigRec {
    // Every section in file order; typed records for the kinds above.
    std::vector<std::unique_ptr<XF86SectionRec>> sections;
    // Text after the last section (comments, blank lines), kept for the writer.
    std::string trailing_text;
    cvx::xf86config::detail::SourcePlace src;
};
using XF86ConfigPtr = XF86ConfigRec*;

// Typed views in file order (computed on each call; linear in the section count).
std::vector<XF86ConfDevicePtr> xf86devices(XF86ConfigPtr tree);
std::vector<XF86ConfMonitorPtr> xf86monitors(XF86ConfigPtr tree);
std::vector<XF86ConfScreenPtr> xf86screens(XF86ConfigPtr tree);
std::vector<XF86ConfLayoutPtr> xf86layouts(XF86ConfigPtr tree);
XF86ConfModulePtr xf86module(XF86ConfigPtr tree);       // first Module section, or null
XF86ConfFlagsPtr xf86serverFlags(XF86ConfigPtr tree);   // first ServerFlags section, or null

// Inserts a new section after the last section of its kind (at the end of the
// file when there is none) and returns it.
template <class T> T* xf86addSection(XF86ConfigPtr tree, std::unique_ptr<T> section);
XF86SectionRec* xf86insertSection(XF86ConfigPtr tree, std::unique_ptr<XF86SectionRec> section);
template <class T> T* xf86addSection(XF86ConfigPtr tree, std::unique_ptr<T> section)
{
    return static_cast<T*>(xf86insertSection(tree, std::move(section)));
}

// ---------------------------------------------------------------- reading

// Locates the configuration file. `path` is a comma-separated list of search
// templates ("%A" = the command-line file, only when absolute; null or empty =
// the X server's default search list); `cmdline` is the file named on the
// command line (may be null); `projroot` is the project root for "%P".
// Returns the path opened, or null. The file stays open for xf86readConfigFile.
const char* xf86openConfigFile(const char* path, const char* cmdline, const char* projroot);
// Parses the file opened by xf86openConfigFile and runs the server's
// post-parse checks. Null on any error (diagnostics through ErrorF).
XF86ConfigPtr xf86readConfigFile();
void xf86closeConfigFile();
// Prefix for every path of the default search (tests point it at a private root).
void xf86setConfigRoot(const std::string& root);

// Parses text directly; `filename` is used in diagnostics. Null on error.
XF86ConfigPtr xf86parseConfigText(std::string_view text, const char* filename);

// Non-fatal findings of the last parse (obsolete keywords, malformed options),
// one line each, as the server would log them.
const std::vector<std::string>& xf86parseWarnings();

// ---------------------------------------------------------------- writing

// Writes the tree; 1 on success, 0 when the file cannot be opened or written.
int xf86writeConfigFile(const char* filename, XF86ConfigPtr tree);
std::string xf86writeConfigText(XF86ConfigPtr tree);

void xf86freeConfig(XF86ConfigPtr tree);
struct XF86ConfigDeleter { void operator()(XF86ConfigPtr p) const noexcept { xf86freeConfig(p); } };
using XF86ConfigHolder = std::unique_ptr<XF86ConfigRec, XF86ConfigDeleter>;

// Structural equality of two trees (ignores source bookkeeping and layout).
bool xf86configEqual(XF86ConfigPtr a, XF86ConfigPtr b);

// ---------------------------------------------------------------- lookups

// 0 when equal ignoring letter case, blanks, tabs and underscores.
int xf86nameCompare(std::string_view a, std::string_view b);

XF86OptionRec* xf86findOption(XF86OptionList& list, std::string_view name);
const XF86OptionRec* xf86findOption(const XF86OptionList& list, std::string_view name);
// The option's value; "" for an option without a value; null when absent.
const char* xf86findOptionValue(const XF86OptionList& list, std::string_view name);
// Replaces the value of the option found by name, else appends a new option.
XF86OptionList& xf86addNewOption(XF86OptionList& list, std::string_view name,
                                 std::optional<std::string> value);

XF86ConfScreenPtr xf86findScreen(std::string_view ident, XF86ConfigPtr tree);
XF86ConfDevicePtr xf86findDevice(std::string_view ident, XF86ConfigPtr tree);
XF86ConfMonitorPtr xf86findMonitor(std::string_view ident, XF86ConfigPtr tree);
XF86ConfLayoutPtr xf86findLayout(std::string_view ident, XF86ConfigPtr tree);
XF86ConfModeLinePtr xf86findModeLine(std::string_view ident, std::vector<XF86ConfModeLineRec>& list);
