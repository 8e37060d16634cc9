// The tree: ownership, typed views, lookups, name comparison and equality.
#include "xf86config/internal.h"

#include <algorithm>
#include <atomic>

using namespace cvx::xf86config::detail;

namespace cvx::xf86config::detail {

void BodyDeleter::operator()(Body* p) const noexcept { delete p; }

std::uint32_t next_source_id()
{
    static std::atomic<std::uint32_t> last {0};
    std::uint32_t id;
    do
        id = last.fetch_add(1, std::memory_order_relaxed) + 1;
    while (id == 0);
    return id;
}

std::string name_key(std::string_view name)
{
    std::string key;
    key.reserve(name.size());
    for (char c : name) {
        if (c == '_' || c == ' ' || c == '\t')
            continue;
        key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return key;
}

bool kind_has_identifier(XF86SectionKind kind)
{
    switch (kind) {
    case XF86SectionKind::InputDevice:
    case XF86SectionKind::InputClass:
    case XF86SectionKind::OutputClass:
    case XF86SectionKind::Device:
    case XF86SectionKind::VideoAdaptor:
    case XF86SectionKind::Monitor:
    case XF86SectionKind::Modes:
    case XF86SectionKind::Screen:
    case XF86SectionKind::ServerLayout:
    case XF86SectionKind::Vendor:
        return true;
    default:
        return false;
    }
}

const char* kind_name(XF86SectionKind kind)
{
    switch (kind) {
    case XF86SectionKind::Files: return "Files";
    case XF86SectionKind::ServerFlags: return "ServerFlags";
    case XF86SectionKind::Module: return "Module";
    case XF86SectionKind::Extensions: return "Extensions";
    case XF86SectionKind::InputDevice: return "InputDevice";
    case XF86SectionKind::InputClass: return "InputClass";
    case XF86SectionKind::OutputClass: return "OutputClass";
    case XF86SectionKind::Device: return "Device";
    case XF86SectionKind::VideoAdaptor: return "VideoAdaptor";
    case XF86SectionKind::Monitor: return "Monitor";
    case XF86SectionKind::Modes: return "Modes";
    case XF86SectionKind::Screen: return "Screen";
    case XF86SectionKind::ServerLayout: return "ServerLayout";
    case XF86SectionKind::DRI: return "DRI";
    case XF86SectionKind::Vendor: return "Vendor";
    case XF86SectionKind::Other: return "Pointer";
    }
    return "Other";
}

namespace {

bool generic_equal(const XF86GenericSectionRec& a, const XF86GenericSectionRec& b)
{
    return a.identifier == b.identifier && a.options == b.options;
}

bool device_equal(const XF86ConfDeviceRec& a, const XF86ConfDeviceRec& b)
{
    return a.identifier == b.identifier && a.vendor == b.vendor && a.board == b.board &&
           a.chipset == b.chipset && a.busid == b.busid && a.card == b.card && a.driver == b.driver &&
           a.ramdac == b.ramdac && a.clockchip == b.clockchip &&
           std::equal(std::begin(a.dacSpeeds), std::end(a.dacSpeeds), std::begin(b.dacSpeeds)) &&
           a.videoram == b.videoram && a.textclockfreq == b.textclockfreq && a.bios_base == b.bios_base &&
           a.mem_base == b.mem_base && a.io_base == b.io_base && a.clocks == b.clocks &&
           a.chipid == b.chipid && a.chiprev == b.chiprev && a.irq == b.irq && a.screen == b.screen &&
           a.options == b.options;
}

bool monitor_equal(const XF86ConfMonitorRec& a, const XF86ConfMonitorRec& b)
{
    return a.identifier == b.identifier && a.vendor == b.vendor && a.model == b.model &&
           a.width == b.width && a.height == b.height && a.hsync == b.hsync && a.vrefresh == b.vrefresh &&
           a.gamma_red == b.gamma_red && a.gamma_green == b.gamma_green && a.gamma_blue == b.gamma_blue &&
           a.modelines == b.modelines && a.usemodes == b.usemodes && a.options == b.options;
}

bool screen_equal(const XF86ConfScreenRec& a, const XF86ConfScreenRec& b)
{
    return a.identifier == b.identifier && a.obsolete_driver == b.obsolete_driver &&
           a.defaultdepth == b.defaultdepth && a.defaultbpp == b.defaultbpp &&
           a.defaultfbbpp == b.defaultfbbpp && a.monitor_name == b.monitor_name &&
           a.device_name == b.device_name && a.adaptors == b.adaptors && a.displays == b.displays &&
           a.options == b.options;
}

bool layout_equal(const XF86ConfLayoutRec& a, const XF86ConfLayoutRec& b)
{
    return a.identifier == b.identifier && a.adjacencies == b.adjacencies && a.inactives == b.inactives &&
           a.inputs == b.inputs && a.options == b.options;
}

bool comments_equal(const XF86SectionRec& a, const XF86SectionRec& b)
{
    const bool ra = a.comment_as_read(), rb = b.comment_as_read();
    if (!ra && !rb)
        return a.given_comment() == b.given_comment();
    if (ra && rb) {
        // The same lines of the same text (a section and its re-parsed copy).
        const Place* pa = a.src.place();
        const Place* pb = b.src.place();
        if (pa->text == pb->text && pa->begin == pb->begin)
            return true;
    }
    return a.comment() == b.comment();
}

}  // namespace

bool section_equal(const XF86SectionRec& a, const XF86SectionRec& b)
{
    if (a.kind != b.kind || !comments_equal(a, b))
        return false;
    if (auto* x = dynamic_cast<const XF86ConfDeviceRec*>(&a)) {
        auto* y = dynamic_cast<const XF86ConfDeviceRec*>(&b);
        return y && device_equal(*x, *y);
    }
    if (auto* x = dynamic_cast<const XF86ConfMonitorRec*>(&a)) {
        auto* y = dynamic_cast<const XF86ConfMonitorRec*>(&b);
        return y && monitor_equal(*x, *y);
    }
    if (auto* x = dynamic_cast<const XF86ConfScreenRec*>(&a)) {
        auto* y = dynamic_cast<const XF86ConfScreenRec*>(&b);
        return y && screen_equal(*x, *y);
    }
    if (auto* x = dynamic_cast<const XF86ConfLayoutRec*>(&a)) {
        auto* y = dynamic_cast<const XF86ConfLayoutRec*>(&b);
        return y && layout_equal(*x, *y);
    }
    if (auto* x = dynamic_cast<const XF86ConfModuleRec*>(&a)) {
        auto* y = dynamic_cast<const XF86ConfModuleRec*>(&b);
        return y && x->loads == y->loads;
    }
    if (auto* x = dynamic_cast<const XF86ConfFlagsRec*>(&a)) {
        auto* y = dynamic_cast<const XF86ConfFlagsRec*>(&b);
        return y && x->options == y->options;
    }
    if (auto* x = dynamic_cast<const XF86GenericSectionRec*>(&a)) {
        auto* y = dynamic_cast<const XF86GenericSectionRec*>(&b);
        return y && generic_equal(*x, *y);
    }
    return false;
}

}  // namespace cvx::xf86config::detail

// Compares what the line says: the fields its relation leaves out of the
// file (a position beside RightOf, a reference beside Absolute) do not count.
bool XF86ConfAdjacencyRec::operator==(const XF86ConfAdjacencyRec& o) const
{
    if (scrnum != o.scrnum || screen_name != o.screen_name || where != o.where || comment != o.comment)
        return false;
    switch (where) {
    case CONF_ADJ_ABSOLUTE:
        return has_position == o.has_position && (!has_position || (x == o.x && y == o.y));
    case CONF_ADJ_RELATIVE:
        return refscreen == o.refscreen && x == o.x && y == o.y;
    case CONF_ADJ_OBSOLETE:
        return top == o.top && bottom == o.bottom && left == o.left && right == o.right;
    default:
        return refscreen == o.refscreen;
    }
}

// ---------------------------------------------------------------- views

namespace {

template <class T>
std::vector<T*> typed(XF86ConfigPtr tree, XF86SectionKind kind)
{
    std::vector<T*> out;
    if (!tree)
        return out;
    for (const auto& sec : tree->sections)
        if (sec && sec->kind == kind)
            if (T* t = dynamic_cast<T*>(sec.get()))
                out.push_back(t);
    return out;
}

}  // namespace

std::vector<XF86ConfDevicePtr> xf86devices(XF86ConfigPtr tree) { return typed<XF86ConfDeviceRec>(tree, XF86SectionKind::Device); }
std::vector<XF86ConfMonitorPtr> xf86monitors(XF86ConfigPtr tree) { return typed<XF86ConfMonitorRec>(tree, XF86SectionKind::Monitor); }
std::vector<XF86ConfScreenPtr> xf86screens(XF86ConfigPtr tree) { return typed<XF86ConfScreenRec>(tree, XF86SectionKind::Screen); }
std::vector<XF86ConfLayoutPtr> xf86layouts(XF86ConfigPtr tree) { return typed<XF86ConfLayoutRec>(tree, XF86SectionKind::ServerLayout); }

XF86ConfModulePtr xf86module(XF86ConfigPtr tree)
{
    auto all = typed<XF86ConfModuleRec>(tree, XF86SectionKind::Module);
    return all.empty() ? nullptr : all.front();
}

XF86ConfFlagsPtr xf86serverFlags(XF86ConfigPtr tree)
{
    auto all = typed<XF86ConfFlagsRec>(tree, XF86SectionKind::ServerFlags);
    return all.empty() ? nullptr : all.front();
}

XF86SectionRec* xf86insertSection(XF86ConfigPtr tree, std::unique_ptr<XF86SectionRec> section)
{
    if (!tree || !section)
        return nullptr;
    auto pos = tree->sections.end();
    for (auto it = tree->sections.begin(); it != tree->sections.end(); ++it)
        if (*it && (*it)->kind == section->kind)
            pos = it + 1;
    return tree->sections.insert(pos, std::move(section))->get();
}

void xf86freeConfig(XF86ConfigPtr tree) { delete tree; }

XF86SectionRec::XF86SectionRec(const XF86SectionRec& o)
    : kind(o.kind), section_name(o.section_name), src(o.src), m_comment(o.comment())
{}

XF86SectionRec& XF86SectionRec::operator=(const XF86SectionRec& o)
{
    if (this != &o) {
        XF86OptionalText c = o.comment();
        kind = o.kind;
        section_name = o.section_name;
        src = o.src;
        m_comment = std::move(c);
    }
    return *this;
}

XF86OptionalText XF86SectionRec::comment() const
{
    if (!comment_as_read())
        return m_comment;
    const Place* p = src.place();
    return read_section_comment(p->text, p->begin, p->text_has_nul);
}

void XF86SectionRec::set_comment(XF86OptionalText text)
{
    m_comment = std::move(text);
    src.edit_place().comment_as_read = false;
}

bool xf86configEqual(XF86ConfigPtr a, XF86ConfigPtr b)
{
    if (!a || !b)
        return a == b;
    if (a->sections.size() != b->sections.size() || a->trailing_text != b->trailing_text)
        return false;
    for (std::size_t i = 0; i < a->sections.size(); ++i) {
        const XF86SectionRec* x = a->sections[i].get();
        const XF86SectionRec* y = b->sections[i].get();
        if (!x || !y ? x != y : !section_equal(*x, *y))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- lookups

int xf86nameCompare(std::string_view a, std::string_view b)
{
    auto skip = [](char c) { return c == '_' || c == ' ' || c == '\t'; };
    auto lower = [](char c) {
        return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    };
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && skip(a[i]))
            ++i;
        while (j < b.size() && skip(b[j]))
            ++j;
        if (i == a.size() || j == b.size())
            return (i == a.size() ? 0 : 1) - (j == b.size() ? 0 : 1);
        unsigned char x = lower(a[i]), y = lower(b[j]);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
}

XF86OptionRec* xf86findOption(XF86OptionList& list, std::string_view name)
{
    for (XF86OptionRec& o : list)
        if (xf86nameCompare(o.name, name) == 0)
            return &o;
    return nullptr;
}

const XF86OptionRec* xf86findOption(const XF86OptionList& list, std::string_view name)
{
    for (const XF86OptionRec& o : list)
        if (xf86nameCompare(o.name, name) == 0)
            return &o;
    return nullptr;
}

const char* xf86findOptionValue(const XF86OptionList& list, std::string_view name)
{
    const XF86OptionRec* o = xf86findOption(list, name);
    if (!o)
        return nullptr;
    return o->value ? o->value->c_str() : "";
}

XF86OptionList& xf86addNewOption(XF86OptionList& list, std::string_view name, std::optional<std::string> value)
{
    if (XF86OptionRec* o = xf86findOption(list, name)) {
        o->value = std::move(value);
        return list;
    }
    XF86OptionRec o;
    o.name = std::string(name);
    o.value = std::move(value);
    list.push_back(std::move(o));
    return list;
}

namespace {

template <class T>
T* find_named(std::string_view ident, const std::vector<T*>& all)
{
    for (T* t : all)
        if (xf86nameCompare(t->identifier, ident) == 0)
            return t;
    return nullptr;
}

}  // namespace

XF86ConfScreenPtr xf86findScreen(std::string_view ident, XF86ConfigPtr tree) { return find_named(ident, xf86screens(tree)); }
XF86ConfDevicePtr xf86findDevice(std::string_view ident, XF86ConfigPtr tree) { return find_named(ident, xf86devices(tree)); }
XF86ConfMonitorPtr xf86findMonitor(std::string_view ident, XF86ConfigPtr tree) { return find_named(ident, xf86monitors(tree)); }
XF86ConfLayoutPtr xf86findLayout(std::string_view ident, XF86ConfigPtr tree) { return find_named(ident, xf86layouts(tree)); }

XF86ConfModeLinePtr xf86findModeLine(std::string_view ident, std::vector<XF86ConfModeLineRec>& list)
{
    for (XF86ConfModeLineRec& m : list)
        if (xf86nameCompare(m.identifier, ident) == 0)
            return &m;
    return nullptr;
}
