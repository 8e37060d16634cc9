// The ServerLayout, Module and ServerFlags sections.
#include "xf86config/parse.h"

namespace cvx::xf86config::detail::parse {

void Parser::parse_layout(XF86ConfLayoutRec& l, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Screen", 2}, {"InputDevice", 3},
        {"Inactive", 4}, {"MatchSeat", 5}, {"Option", 6},
    };
    static const Kw where[] = {
        {"RightOf", CONF_ADJ_RIGHTOF}, {"LeftOf", CONF_ADJ_LEFTOF}, {"Above", CONF_ADJ_ABOVE},
        {"Below", CONF_ADJ_BELOW}, {"Relative", CONF_ADJ_RELATIVE}, {"Absolute", CONF_ADJ_ABSOLUTE},
    };
    bool have_id = false;
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
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case 1:
            if (have_id)
                fail(t.line, "Multiple \"Identifier\" lines.");
            l.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, LY_IDENT);
            break;
        case 2: {
            const char* msg = "The Screen keyword must be followed by an optional number, a screen name\n"
                              "\tin quotes, and optional position/layout information.";
            const char* invalid = "Invalid Screen line.";
            XF86ConfAdjacencyRec a;
            Token u = get();
            if (u.kind == Tk::Num) {
                a.scrnum = int_value(u.text);
                u = get();
            }
            if (u.kind != Tk::Str)
                fail(u.line, msg);
            a.screen_name = u.text;
            Token pos = get();
            int w = pos.kind == Tk::Word ? lookup(where, pos.text) : -2;
            if (pos.kind == Tk::Word && w >= CONF_ADJ_RIGHTOF && w <= CONF_ADJ_RELATIVE) {
                a.where = w;
                a.refscreen = need_str_msg(invalid);
                if (w == CONF_ADJ_RELATIVE) {
                    a.x = need_int_msg(invalid);
                    a.y = need_int_msg(invalid);
                    a.has_position = true;
                }
            } else if (pos.kind == Tk::Word && w == CONF_ADJ_ABSOLUTE) {
                a.x = need_int_msg(invalid);
                a.y = need_int_msg(invalid);
                a.has_position = true;
            } else if (pos.kind == Tk::Num) {
                a.x = int_value(pos.text);
                a.y = need_int_msg(invalid);
                a.has_position = true;
            } else if (pos.kind == Tk::Str) {
                a.where = CONF_ADJ_OBSOLETE;
                a.top = std::string(pos.text);
                a.bottom = need_str_msg(msg);
                a.left = need_str_msg(msg);
                a.right = need_str_msg(msg);
            } else {
                unget(std::move(pos));
            }
            a.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, LY_SCREENS);
            a.src.set_origin(me, idx);
            l.adjacencies.push_back(std::move(a));
            note_line(&l.adjacencies, t.line);
            break;
        }
        case 3: {
            XF86ConfInputrefRec r;
            r.name = need_str_msg("The InputDevice keyword must be followed by an input device name in quotes.");
            for (;;) {
                Token u = get();
                if (u.kind != Tk::Str) {
                    unget(std::move(u));
                    break;
                }
                r.options.emplace_back(u.text);
            }
            r.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, LY_INPUTS);
            r.src.set_origin(me, idx);
            l.inputs.push_back(std::move(r));
            note_line(&l.inputs, t.line);
            break;
        }
        case 4: {
            XF86ConfInactiveRec r;
            r.device_name = need_str_msg("The Inactive keyword must be followed by a Device name in quotes.");
            r.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, LY_INACTIVE);
            r.src.set_origin(me, idx);
            l.inactives.push_back(std::move(r));
            note_line(&l.inactives, t.line);
            break;
        }
        case 5: need_str("MatchSeat"); add_item(b, begin, G_KEEP); break;
        case 6: parse_option(b, begin, l.options, LY_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_module(XF86ConfModuleRec& m, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Load", 1}, {"LoadDriver", 2}, {"Disable", 3}, {"SubSection", 4},
    };
    static const Kw sub_table[] = {{"EndSubSection", 0}, {"Option", 1}};
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        if (id == 0) {
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        }
        if (id < 0)
            bad_keyword(t);
        XF86LoadRec load;
        if (id <= 3) {
            load.type = id == 1 ? XF86_LOAD_MODULE : id == 2 ? XF86_LOAD_DRIVER : XF86_DISABLE_MODULE;
            load.name = need_str(id == 1 ? "Load" : id == 2 ? "LoadDriver" : "Disable");
        } else {
            load.name = need_str("SubSection");
            load.is_subsection = true;
            load.src.set_id(next_source_id());   // the owner of the subsection's options
            Body sub = take_body();
            bool broken = false;
            for (;;) {
                Token u = get();
                int sid = u.kind == Tk::Word ? lookup(sub_table, u.text) : -1;
                if (u.kind == Tk::Eof) {
                    warn(u.line, kMsgEof);
                    fail(u.line, kMsgEof);
                }
                if (sid == 0)
                    break;
                if (sid == 1) {
                    parse_option(sub, u.begin, load.options, LS_OPTIONS, load.src.id());
                    continue;
                }
                // Not fatal for the server: it drops the subsection and goes on
                // in the Module section with the next token.
                warn(u.line, quoted(u.text) + " is not a valid keyword in this section.");
                broken = true;
                break;
            }
            give_back(std::move(sub));
            if (broken) {
                add_item(b, begin, G_KEEP);
                continue;
            }
        }
        load.comment = comment_after(m_last_end);
        load.src.set_origin(me, add_item(b, begin, MD_LOADS));
        m.loads.push_back(std::move(load));
    }
}

void Parser::parse_flags(XF86ConfFlagsRec& f, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Option", 1}, {"DontZap", 2}, {"DontZoom", 3},
        {"DisableVidModeExtension", 4}, {"AllowNonLocalXvidtune", 5}, {"DisableModInDev", 6},
        {"AllowNonLocalModInDev", 7}, {"AllowMouseOpenFail", 8}, {"BlankTime", 9},
        {"StandbyTime", 10}, {"SuspendTime", 11}, {"OffTime", 12}, {"DefaultServerLayout", 13},
    };
    static const char* const names[] = {
        "", "", "dontzap", "dontzoom", "disablevidmodeextension", "allownonlocalxvidtune",
        "disablemodindev", "allownonlocalmodindev", "allowmouseopenfail", "blanktime",
        "standbytime", "suspendtime", "offtime", "defaultserverlayout",
    };
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        std::size_t begin = t.begin;
        if (id == 0) {
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        }
        if (id == 1) {
            parse_option(b, begin, f.options, FL_OPTIONS, me);
            continue;
        }
        if (id < 0)
            bad_keyword(t);
        // Legacy keywords become options that replace one of the same name in place.
        std::optional<std::string> value;
        if (id >= 9 && id <= 12)
            value = std::to_string(need_int(names[id]));
        else if (id == 13)
            value = need_str("DefaultServerLayout");
        if (XF86OptionRec* old = xf86findOption(f.options, names[id])) {
            old->value = std::move(value);
            add_item(b, begin, G_KEEP);
        } else {
            XF86OptionRec o;
            o.name = names[id];
            o.value = std::move(value);
            o.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, FL_OPTIONS);
            o.src.set_origin(me, idx);
            f.options.push_back(std::move(o));
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
