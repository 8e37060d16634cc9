// The checks of the fuzz target, shared with the replay of the regression
// corpus: parse -> write -> parse. An unchanged tree must be written byte for
// byte; an edited tree must read back as itself.
#include "fuzz/roundtrip_check.h"

#include "xf86config/xf86config.h"

#include <limits>
#include <memory>
#include <string>

namespace {

void edit(XF86ConfigPtr tree)
{
    for (XF86ConfDevicePtr d : xf86devices(tree)) {
        xf86addNewOption(d->options, "CvxFuzz", std::string("1"));
        d->driver = "cvx";
        if (!d->options.empty())
            d->options.front().comment = "# fuzz";
    }
    for (XF86ConfScreenPtr s : xf86screens(tree)) {
        if (!s->displays.empty())
            s->displays.front().modes.push_back("640x480");
        else
            s->displays.emplace_back();
        s->defaultdepth = 24;
    }
    for (XF86ConfMonitorPtr m : xf86monitors(tree)) {
        XF86ConfModeLineRec ml;
        ml.identifier = "fuzz";
        ml.clock = 25175;
        ml.hdisplay = 640; ml.hsyncstart = 656; ml.hsyncend = 752; ml.htotal = 800;
        ml.vdisplay = 480; ml.vsyncstart = 490; ml.vsyncend = 492; ml.vtotal = 525;
        ml.flags = XF86CONF_NHSYNC | XF86CONF_NVSYNC;
        m->modelines.push_back(ml);
        if (m->modelines.size() > 1)
            m->modelines.erase(m->modelines.begin());
    }
    for (XF86ConfLayoutPtr l : xf86layouts(tree)) {
        l->identifier = "Corvex Twinscape configured.";
        if (!l->adjacencies.empty()) {
            l->adjacencies.front().where = CONF_ADJ_RIGHTOF;
            l->adjacencies.front().refscreen = "Display 2";
        }
    }
    auto dev = std::make_unique<XF86ConfDeviceRec>();
    dev->identifier = "CORVEX CARD 2";
    dev->screen = 1;
    xf86addSection(tree, std::move(dev));
}

// A second set of edits: removals, reordering, comments and the other lists.
// Comments of bodies with NUL bytes are not modelled, so comment edits are
// left out for such input.
void edit_more(XF86ConfigPtr tree, bool has_nul)
{
    for (auto& sec : tree->sections) {
        if (sec->comment() && !has_nul)
            sec->set_comment("# changed");
        const XF86SectionKind k = sec->kind;
        const bool takes_options = k != XF86SectionKind::Files && k != XF86SectionKind::DRI &&
                                   k != XF86SectionKind::Modes && k != XF86SectionKind::Other;
        if (auto* g = dynamic_cast<XF86GenericSectionRec*>(sec.get()); g && takes_options) {
            if (!g->options.empty())
                g->options.pop_back();
            xf86addNewOption(g->options, "Generic", std::nullopt);
        }
    }
    for (XF86ConfDevicePtr d : xf86devices(tree)) {
        if (d->options.size() >= 2)
            std::swap(d->options.front(), d->options.back());
        d->busid.reset();
        if (d->clocks.size() < XF86_MAX_CLOCKS)
            d->clocks.push_back(25175);
        d->dacSpeeds[0] = 135500;
    }
    for (XF86ConfScreenPtr s : xf86screens(tree)) {
        if (s->displays.size() >= 2)
            s->displays.erase(s->displays.begin());
        for (XF86ConfDisplayRec& d : s->displays) {
            d.virtual_x = 1600;
            d.virtual_y = 1200;
            d.options.clear();
            if (!has_nul)
                d.comment = "# display";
        }
        s->adaptors.clear();
    }
    for (XF86ConfMonitorPtr m : xf86monitors(tree)) {
        for (XF86ConfModeLineRec& ml : m->modelines)
            if (ml.clock >= 0 && ml.clock < std::numeric_limits<int>::max())
                ml.clock += 1;   // a clock read as beyond int stays so: no file says one less

        m->hsync = {{30, 70}};
        m->gamma_red = m->gamma_green = m->gamma_blue = 1.5f;
        m->usemodes.clear();
    }
    for (XF86ConfLayoutPtr l : xf86layouts(tree)) {
        l->inactives.clear();
        for (XF86ConfInputrefRec& r : l->inputs)
            r.options.push_back("SendCoreEvents");
        if (!l->adjacencies.empty())
            l->adjacencies.back().scrnum = 7;
    }
    if (XF86ConfModulePtr mod = xf86module(tree)) {
        if (!mod->loads.empty())
            mod->loads.front().name = "dri";
        XF86LoadRec load;
        load.name = "extmod";
        load.is_subsection = true;
        xf86addNewOption(load.options, "omit xfree86-dga", std::nullopt);
        mod->loads.push_back(load);
    }
}

// Comments inside bodies with NUL bytes are not modelled; an edit may remove
// the NUL, after which they are. Such input is compared without them.
void drop_body_comments(XF86ConfigPtr tree)
{
    for (auto& sec : tree->sections) {
        sec->set_comment(std::nullopt);
        if (auto* s = dynamic_cast<XF86ConfScreenRec*>(sec.get()))
            for (XF86ConfDisplayRec& d : s->displays)
                d.comment.reset();
    }
}

}  // namespace

const char* xf86config_roundtrip_failure(std::string_view text)
{
    XF86ConfigHolder tree(xf86parseConfigText(text, "fuzz.conf"));
    // A NUL at the very end drops nothing but takes the tokeniser that joins
    // lines; both tokenisers must read NUL-free text alike.
    if (text.find('\0') == std::string_view::npos) {
        XF86ConfigHolder slow(xf86parseConfigText(std::string(text) + '\0', "fuzz.conf"));
        if (!tree != !slow)
            return "the two tokenisers disagree on whether the text parses";
        if (tree) {
            slow->trailing_text = tree->trailing_text;
            if (!xf86configEqual(tree.get(), slow.get()))
                return "the two tokenisers read the text differently";
        }
    }
    if (!tree)
        return nullptr;
    const std::string out = xf86writeConfigText(tree.get());
    if (out != text)
        return "an unchanged tree was not written back byte for byte";
    const bool has_nul = text.find('\0') != std::string_view::npos;
    if (text.size() % 2)
        edit_more(tree.get(), has_nul);
    else
        edit(tree.get());
    const std::string edited = xf86writeConfigText(tree.get());
    if (edited.empty())
        return "an edited tree could not be written";
    XF86ConfigHolder again(xf86parseConfigText(edited, "edited.conf"));
    if (!again)
        return "an edited tree was written in a form that does not parse";
    if (has_nul) {
        drop_body_comments(tree.get());
        drop_body_comments(again.get());
    }
    if (!xf86configEqual(tree.get(), again.get()))
        return "an edited tree read back differently";
    return nullptr;
}
