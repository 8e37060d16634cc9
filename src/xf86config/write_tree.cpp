// The whole tree: unchanged sections copied from the file text, changed ones
// rewritten in place, new ones appended; the text after the last section.
#include "xf86config/write.h"

namespace cvx::xf86config::detail::write {

namespace {

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

}  // namespace

bool render(XF86ConfigPtr tree, std::string& result)
{
    if (!tree)
        return false;
    const Place* ti = tree->src.place();
    const std::string nl(newline_text(ti ? ti->newline : Newline::LF));
    Out out(nl);
    if (ti && ti->text)
        out.reserve(ti->text->size() + ti->text->size() / 8);
    try {
        for (const auto& sp : tree->sections) {
            if (!sp)
                continue;
            const XF86SectionRec& sec = *sp;
            const Place* si = sec.src.place();
            // Still as read: copied without parsing it again.
            if (si && si->text && si->fingerprint != 0 && si->fingerprint == section_fingerprint(sec)) {
                out.copy(*si->text, si->pre, si->tail);
                continue;
            }
            std::unique_ptr<XF86SectionRec> snap;
            if (si && si->text)
                snap = reparse_section(si->text, si->begin, si->text_has_nul);
            if (snap && snap->kind == sec.kind && snap->src.body()) {
                const std::string& t = *si->text;
                if (section_equal(sec, *snap)) {
                    out.copy(t, si->pre, si->tail);
                    continue;
                }
                const Body& b = *snap->src.body();
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


}  // namespace cvx::xf86config::detail::write

using cvx::xf86config::detail::write::render;

std::string xf86writeConfigText(XF86ConfigPtr tree)
{
    std::string out;
    if (!render(tree, out))
        return std::string();
    return out;
}
