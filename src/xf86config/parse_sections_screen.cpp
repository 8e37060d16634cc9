// The Screen section and its Display subsections.
#include "xf86config/parse.h"

namespace cvx::xf86config::detail::parse {

void Parser::parse_display(XF86ConfDisplayRec& d, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSubSection", 0}, {"Depth", 1}, {"FbBPP", 2}, {"Visual", 3}, {"Modes", 4},
        {"Virtual", 5}, {"ViewPort", 6}, {"Weight", 7}, {"Black", 8}, {"White", 9}, {"Option", 10},
    };
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1: d.depth = need_int("Display"); add_item(b, begin, DS_DEPTH); break;
        case 2: d.bpp = need_int("Display"); add_item(b, begin, DS_FBBPP); break;
        case 3: d.visual = need_str("Display"); add_item(b, begin, DS_VISUAL); break;
        case 4:
            for (;;) {
                Token u = get();
                if (u.kind != Tk::Str) {
                    unget(std::move(u));
                    break;
                }
                d.modes.emplace_back(u.text);
            }
            add_item(b, begin, DS_MODES);
            break;
        case 5: {
            const char* msg = "The Virtual keyword must be followed by a width and height value.";
            d.virtual_x = need_int_msg(msg);
            d.virtual_y = need_int_msg(msg);
            add_item(b, begin, DS_VIRTUAL);
            break;
        }
        case 6: {
            const char* msg = "The Viewport keyword must be followed by an X and Y value.";
            d.frame_x0 = need_int_msg(msg);
            d.frame_y0 = need_int_msg(msg);
            add_item(b, begin, DS_VIEWPORT);
            break;
        }
        case 7:
        case 8:
        case 9: {
            static const char* const msgs[] = {
                "The Weight keyword must be followed by red, green and blue values.",
                "The Black keyword must be followed by red, green and blue values.",
                "The White keyword must be followed by red, green and blue values.",
            };
            const char* msg = msgs[id - 7];
            int r = need_int_msg(msg), g = need_int_msg(msg), bl = need_int_msg(msg);
            if (id == 7) { d.weight_red = r; d.weight_green = g; d.weight_blue = bl; }
            if (id == 8) { d.black_red = r; d.black_green = g; d.black_blue = bl; }
            if (id == 9) { d.white_red = r; d.white_green = g; d.white_blue = bl; }
            add_item(b, begin, id == 7 ? DS_WEIGHT : id == 8 ? DS_BLACK : DS_WHITE);
            break;
        }
        case 10: parse_option(b, begin, d.options, DS_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_screen(XF86ConfScreenRec& sc, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Driver", 2}, {"Device", 3}, {"GPUDevice", 4},
        {"Monitor", 5}, {"VideoAdaptor", 6}, {"DefaultDepth", 7}, {"DefaultColorDepth", 7},
        {"DefaultBPP", 8}, {"DefaultFbBPP", 9}, {"Virtual", 10}, {"MatchSeat", 11},
        {"Option", 12}, {"SubSection", 13},
    };
    bool have_id = false;
    int gpus = 0;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        switch (id) {
        case 0:
            if (!have_id)
                fail(t.line, "This section must have an Identifier line.");
            if (sc.obsolete_driver)
                sc.identifier = *sc.obsolete_driver;   // a Driver-only screen goes by that name
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
        case 2:
            if (have_id)
                fail(t.line, "This section must have only one of either Identifier or Driver line.");
            if (id == 1)
                sc.identifier = need_str("Identifier");
            else
                sc.obsolete_driver = need_str("Driver");
            have_id = true;
            add_item(b, begin, SC_IDENT);
            break;
        case 3: sc.device_name = need_str("Device"); add_item(b, begin, SC_DEVICE); break;
        case 4:
            need_str("GPUDevice");
            if (++gpus > 4)
                fail(t.line, "More than 4 GPU devices defined.");
            add_item(b, begin, G_KEEP);
            break;
        case 5: sc.monitor_name = need_str("Monitor"); add_item(b, begin, SC_MONITOR); break;
        case 6: {
            std::string a = need_str("VideoAdaptor");
            bool dup = false;
            for (const std::string& x : sc.adaptors)
                dup = dup || xf86nameCompare(x, a) == 0;
            if (!dup) {
                sc.adaptors.push_back(std::move(a));
                note_line(&sc.adaptors, t.line);
            }
            add_item(b, begin, SC_ADAPTORS);
            break;
        }
        case 7: sc.defaultdepth = need_int("DefaultDepth"); add_item(b, begin, SC_DEPTH); break;
        case 8: sc.defaultbpp = need_int("DefaultBPP"); add_item(b, begin, SC_BPP); break;
        case 9: sc.defaultfbbpp = need_int("DefaultFbBPP"); add_item(b, begin, SC_FBBPP); break;
        case 10: {
            const char* msg = "The Virtual keyword must be followed by a width and height value.";
            need_int_msg(msg);
            need_int_msg(msg);
            add_item(b, begin, G_KEEP);
            break;
        }
        case 11: need_str("MatchSeat"); add_item(b, begin, G_KEEP); break;
        case 12: parse_option(b, begin, sc.options, SC_OPTIONS, me); break;
        case 13: {
            Token name = get();
            if (name.kind != Tk::Str)
                fail(name.line, "The SubSection keyword requires a quoted string to follow it.");
            XF86ConfDisplayRec d;
            d.src.set_id(next_source_id());   // the owner of the subsection's options
            Body sub = take_body();
            sub.head_begin = begin;
            parse_display(d, sub, d.src.id());
            finish_body(sub, name.end);
            d.comment = own_line_comments(sub);
            d.src.set_origin(me, add_item(b, begin, SC_DISPLAYS));
            if (m_keep)
                d.src.set_body(keep_body(std::move(sub)));
            else
                give_back(std::move(sub));
            sc.displays.push_back(std::move(d));
            break;
        }
        default: bad_keyword(t);
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
