// The Device and Monitor sections.
#include "xf86config/parse.h"

namespace cvx::xf86config::detail::parse {

void Parser::parse_device(XF86ConfDeviceRec& d, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"Driver", 2}, {"VendorName", 3}, {"BoardName", 4},
        {"Chipset", 5}, {"Ramdac", 6}, {"ClockChip", 7}, {"BusID", 8}, {"MatchSeat", 9},
        {"Card", 10}, {"DacSpeed", 11}, {"Clocks", 12}, {"VideoRam", 13}, {"MemBase", 14},
        {"IOBase", 15}, {"BiosBase", 16}, {"ChipID", 17}, {"ChipRev", 18}, {"IRQ", 19},
        {"Screen", 20}, {"Option", 21},
    };
    bool have_id = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        if (forced && t.kind != Tk::Word && id >= 0)
            b.glued.push_back({b.items.size(), t.end, as_bareword(t.text)});
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
            d.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, DV_IDENT);
            break;
        case 2: d.driver = need_str("Driver"); add_item(b, begin, DV_DRIVER); break;
        case 3: d.vendor = need_str("Vendor"); add_item(b, begin, DV_VENDOR); break;
        case 4: d.board = need_str("Board"); add_item(b, begin, DV_BOARD); break;
        case 5: d.chipset = need_str("Chipset"); add_item(b, begin, DV_CHIPSET); break;
        case 6: d.ramdac = need_str("Ramdac"); add_item(b, begin, DV_RAMDAC); break;
        case 7: d.clockchip = need_str("ClockChip"); add_item(b, begin, DV_CLOCKCHIP); break;
        case 8: d.busid = need_str("BusID"); add_item(b, begin, DV_BUSID); break;
        case 9: need_str("MatchSeat"); add_item(b, begin, G_KEEP); break;
        case 10: d.card = need_str("Card"); add_item(b, begin, DV_CARD); break;
        case 11: {
            Token v = get();
            if (v.kind != Tk::Num)
                fail(v.line, "The DacSpeed keyword must be followed by a list of up to 4 numbers.");
            for (int& x : d.dacSpeeds)
                x = 0;
            d.dacSpeeds[0] = to_khz(real_value(v.text));
            for (int i = 1; i < 4; ++i) {
                Token u = get();
                if (u.kind != Tk::Num) {
                    unget(std::move(u), true);   // the server's push-back quirk
                    break;
                }
                d.dacSpeeds[i] = to_khz(real_value(u.text));
            }
            add_item(b, begin, DV_DACSPEED);
            break;
        }
        case 12:
            for (;;) {
                Token u = get();
                if (u.kind != Tk::Num || d.clocks.size() >= XF86_MAX_CLOCKS) {
                    unget(std::move(u));
                    break;
                }
                d.clocks.push_back(to_khz(real_value(u.text)));
            }
            add_item(b, begin, DV_CLOCKS);
            break;
        case 13: d.videoram = need_int("VideoRam"); add_item(b, begin, DV_VIDEORAM); break;
        case 14:
            d.mem_base = static_cast<unsigned long>(static_cast<long>(need_int("MemBase")));
            add_item(b, begin, DV_MEMBASE);
            break;
        case 15:
            d.io_base = static_cast<unsigned long>(static_cast<long>(need_int("IOBase")));
            add_item(b, begin, DV_IOBASE);
            break;
        case 16:
            d.bios_base = static_cast<unsigned long>(static_cast<long>(need_int("BIOSBase")));
            add_item(b, begin, DV_BIOSBASE);
            break;
        case 17: d.chipid = need_int("ChipID"); add_item(b, begin, DV_CHIPID); break;
        case 18: d.chiprev = need_int("ChipRev"); add_item(b, begin, DV_CHIPREV); break;
        case 19:
            d.irq = need_int_msg("The IRQ keyword requires a quoted string to follow it.");
            add_item(b, begin, DV_IRQ);
            break;
        case 20: d.screen = need_int("Screen"); add_item(b, begin, DV_SCREEN); break;
        case 21: parse_option(b, begin, d.options, DV_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

void Parser::parse_monitor(XF86ConfMonitorRec& m, Body& b, std::uint32_t me)
{
    static const Kw table[] = {
        {"EndSection", 0}, {"Identifier", 1}, {"VendorName", 2}, {"ModelName", 3},
        {"HorizSync", 4}, {"VertRefresh", 5}, {"DisplaySize", 6}, {"Gamma", 7},
        {"UseModes", 8}, {"ModeLine", 9}, {"Mode", 10}, {"Option", 11},
    };
    bool have_id = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof)
            fail(t.line, kMsgEof);
        int id = (t.kind == Tk::Word || forced) ? lookup(table, t.text) : -1;
        if (forced && t.kind != Tk::Word && id >= 0)
            b.glued.push_back({b.items.size(), t.end, as_bareword(t.text)});
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
            m.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, MN_IDENT);
            break;
        case 2: m.vendor = need_str("Vendor"); add_item(b, begin, MN_VENDOR); break;
        case 3: m.model = need_str("ModelName"); add_item(b, begin, MN_MODEL); break;
        case 4:
            parse_ranges(m.hsync, "HorizSync", 8, "Sorry. Too many horizontal sync intervals.");
            add_item(b, begin, MN_HSYNC);
            break;
        case 5:
            parse_ranges(m.vrefresh, "VertRefresh", 9, "Sorry. Too many vertical refresh intervals.");
            add_item(b, begin, MN_VREFRESH);
            break;
        case 6: {
            const char* msg = "The DisplaySize keyword must be followed by the width and height in mm.";
            m.width = to_int(need_real_msg(msg));
            m.height = to_int(need_real_msg(msg));
            add_item(b, begin, MN_DISPLAYSIZE);
            break;
        }
        case 7: {
            const char* msg = "gamma correction value(s) expected\n either one value or three r/g/b values.";
            double r = need_real_msg(msg);
            Token u = get();
            if (u.kind == Tk::Num) {
                double g = real_value(u.text);
                double bl = need_real_msg(msg);
                m.gamma_red = static_cast<float>(r);
                m.gamma_green = static_cast<float>(g);
                m.gamma_blue = static_cast<float>(bl);
            } else {
                unget(std::move(u), true);   // the server's push-back quirk
                m.gamma_red = m.gamma_green = m.gamma_blue = static_cast<float>(r);
            }
            add_item(b, begin, MN_GAMMA);
            break;
        }
        case 8:
            m.usemodes.push_back(need_str("UseModes"));
            note_line(&m.usemodes, t.line);
            add_item(b, begin, MN_USEMODES);
            break;
        case 9:
        case 10: {
            XF86ConfModeLineRec ml = id == 9 ? parse_modeline() : parse_mode_block();
            ml.comment = comment_after(m_last_end);
            int idx = add_item(b, begin, MN_MODELINES);
            ml.src.set_origin(me, idx);
            m.modelines.push_back(std::move(ml));
            break;
        }
        case 11: parse_option(b, begin, m.options, MN_OPTIONS, me); break;
        default: bad_keyword(t);
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
