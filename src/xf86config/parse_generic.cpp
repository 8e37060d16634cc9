// Sections the program does not edit: checked as the server checks them and
// kept as text, with a table of keywords per section kind.
#include "xf86config/parse.h"

namespace cvx::xf86config::detail::parse {

namespace {

// What a keyword of a section the program does not edit takes after it.
enum class Arg {
    End,           // EndSection
    Identifier,    // the section's name
    Option,        // an Option line
    OneString,     // one quoted string
    Obsolete,      // nothing of use: the server warns and swallows the next token
    Boolean,       // a quoted boolean word
    SubSection,    // a named subsection of Option and Identifier lines
    ModeLine,      // a ModeLine statement
    ModeBlock,     // a Mode ... EndMode block
    DriGroup,      // a group name in quotes or a group number
    DriMode,       // an octal number
    NoArgument,    // the keyword alone
    Count,         // a number (legacy Pointer section)
    ZAxisMapping,  // two numbers, or X or Y
};

struct ArgKw { std::string_view name; Arg arg; };

bool is_bool_word(const std::string& v)
{
    static const char* const words[] = {"1", "on", "true", "yes", "0", "off", "false", "no"};
    if (v.empty())
        return true;
    for (const char* w : words)
        if (xf86nameCompare(v, w) == 0)
            return true;
    return false;
}

}  // namespace

void Parser::parse_generic(XF86GenericSectionRec& g, Body& b, std::uint32_t me)
{
    static const ArgKw files[] = {
        {"EndSection", Arg::End}, {"FontPath", Arg::OneString}, {"ModulePath", Arg::OneString},
        {"LogFile", Arg::OneString}, {"XkbDir", Arg::OneString}, {"RgbPath", Arg::Obsolete},
        {"InputDevices", Arg::Obsolete},
    };
    static const ArgKw extensions[] = {
        {"EndSection", Arg::End}, {"Option", Arg::Option},
    };
    static const ArgKw input[] = {
        {"EndSection", Arg::End}, {"Identifier", Arg::Identifier}, {"Driver", Arg::OneString},
        {"Option", Arg::Option},
    };
    static const ArgKw inputclass[] = {
        {"EndSection", Arg::End}, {"Identifier", Arg::Identifier}, {"Driver", Arg::OneString},
        {"Option", Arg::Option}, {"MatchProduct", Arg::OneString}, {"MatchVendor", Arg::OneString},
        {"MatchDevicePath", Arg::OneString}, {"MatchOS", Arg::OneString}, {"MatchPnPID", Arg::OneString},
        {"MatchUSBID", Arg::OneString}, {"MatchDriver", Arg::OneString}, {"MatchTag", Arg::OneString},
        {"MatchLayout", Arg::OneString}, {"NoMatchProduct", Arg::OneString},
        {"NoMatchVendor", Arg::OneString}, {"NoMatchDevicePath", Arg::OneString},
        {"NoMatchOS", Arg::OneString}, {"NoMatchPnPID", Arg::OneString}, {"NoMatchUSBID", Arg::OneString},
        {"NoMatchDriver", Arg::OneString}, {"NoMatchTag", Arg::OneString}, {"NoMatchLayout", Arg::OneString},
        {"MatchIsKeyboard", Arg::Boolean}, {"MatchIsPointer", Arg::Boolean},
        {"MatchIsJoystick", Arg::Boolean}, {"MatchIsTablet", Arg::Boolean},
        {"MatchIsTabletPad", Arg::Boolean}, {"MatchIsTouchpad", Arg::Boolean},
        {"MatchIsTouchscreen", Arg::Boolean},
    };
    static const ArgKw outputclass[] = {
        {"EndSection", Arg::End}, {"Identifier", Arg::Identifier}, {"Driver", Arg::OneString},
        {"ModulePath", Arg::OneString}, {"Option", Arg::Option}, {"MatchDriver", Arg::OneString},
    };
    static const ArgKw adaptor[] = {
        {"EndSection", Arg::End}, {"Identifier", Arg::Identifier}, {"VendorName", Arg::OneString},
        {"BoardName", Arg::OneString}, {"BusID", Arg::OneString}, {"Driver", Arg::OneString},
        {"Option", Arg::Option}, {"SubSection", Arg::SubSection},
    };
    static const ArgKw modes[] = {
        {"EndSection", Arg::End}, {"Identifier", Arg::Identifier}, {"ModeLine", Arg::ModeLine},
        {"Mode", Arg::ModeBlock},
    };
    static const ArgKw dri[] = {
        {"EndSection", Arg::End}, {"Group", Arg::DriGroup}, {"Mode", Arg::DriMode},
    };
    static const ArgKw vendor[] = {
        {"EndSection", Arg::End}, {"Identifier", Arg::Identifier}, {"Option", Arg::Option},
        {"SubSection", Arg::SubSection},
    };
    static const ArgKw pointer[] = {
        {"EndSection", Arg::End}, {"Protocol", Arg::OneString}, {"Device", Arg::OneString},
        {"Port", Arg::OneString}, {"Emulate3Buttons", Arg::NoArgument}, {"ChordMiddle", Arg::NoArgument},
        {"ClearDTR", Arg::NoArgument}, {"ClearRTS", Arg::NoArgument}, {"AlwaysCore", Arg::NoArgument},
        {"Emulate3Timeout", Arg::Count}, {"Buttons", Arg::Count}, {"BaudRate", Arg::Count},
        {"SampleRate", Arg::Count}, {"Resolution", Arg::Count}, {"ZAxisMapping", Arg::ZAxisMapping},
    };
    struct Table { const ArgKw* kw; std::size_t size; };
    auto pick = [&]() -> Table {
        switch (g.kind) {
        case XF86SectionKind::Files: return {files, std::size(files)};
        case XF86SectionKind::Extensions: return {extensions, std::size(extensions)};
        case XF86SectionKind::InputDevice: return {input, std::size(input)};
        case XF86SectionKind::InputClass: return {inputclass, std::size(inputclass)};
        case XF86SectionKind::OutputClass: return {outputclass, std::size(outputclass)};
        case XF86SectionKind::VideoAdaptor: return {adaptor, std::size(adaptor)};
        case XF86SectionKind::Modes: return {modes, std::size(modes)};
        case XF86SectionKind::DRI: return {dri, std::size(dri)};
        case XF86SectionKind::Vendor: return {vendor, std::size(vendor)};
        default: return {pointer, std::size(pointer)};
        }
    };
    const Table table = pick();
    auto find = [&](std::string_view word) {
        char buf[48];
        std::size_t len = 0;
        if (fold(word, buf, len))
            for (std::size_t i = 0; i < table.size; ++i)
                if (folded_equals(buf, len, table.kw[i].name))
                    return i;
        return table.size;
    };
    const bool needs_id = kind_has_identifier(g.kind);
    bool have_id = false, have_driver = false;
    for (;;) {
        bool forced = false;
        Token t = get(&forced);
        if (t.kind == Tk::Eof) {
            if (g.kind == XF86SectionKind::Modes)
                fail(t.line, "\"\" is not a valid keyword in this section.");
            fail(t.line, kMsgEof);
        }
        std::size_t k = (t.kind == Tk::Word || forced) ? find(t.text) : table.size;
        if (k == table.size)
            bad_keyword(t);
        const std::string kwname(table.kw[k].name);
        std::size_t begin = t.begin;
        switch (table.kw[k].arg) {
        case Arg::End:
            if (needs_id && !have_id)
                fail(t.line, "This section must have an Identifier line.");
            if (g.kind == XF86SectionKind::InputDevice && !have_driver)
                m_inputs_without_driver.emplace_back(&g, m_section_line);
            b.end_begin = t.begin;
            b.end_end = t.end;
            return;
        case Arg::Identifier:
            if (have_id)
                fail(t.line, "Multiple \"Identifier\" lines.");
            g.identifier = need_str("Identifier");
            have_id = true;
            add_item(b, begin, GN_IDENT);
            break;
        case Arg::Option: parse_option(b, begin, g.options, GN_OPTIONS, me); break;
        case Arg::OneString:
            need_str(kwname.c_str());
            if (kwname == "Driver")
                have_driver = true;
            add_item(b, begin, G_KEEP);
            break;
        case Arg::Obsolete:
            warn(t.line, std::string("Ignoring obsolete keyword \"") + kwname + "\".");
            get();   // the server swallows the next token, whatever it is
            add_item(b, begin, G_KEEP);
            break;
        case Arg::Boolean: {
            std::string v = need_str(kwname.c_str());
            if (!is_bool_word(v))
                fail(t.line, std::string("The ") + kwname + " keyword requires a boolean to follow it.");
            add_item(b, begin, G_KEEP);
            break;
        }
        case Arg::SubSection: {
            need_str("SubSection");
            bool sub_id = false;
            for (;;) {
                Token u = get();
                if (u.kind == Tk::Eof)
                    fail(u.line, kMsgEof);
                std::string_view w = u.kind == Tk::Word ? std::string_view(u.text) : std::string_view();
                if (u.kind == Tk::Word && xf86nameCompare(w, "EndSubSection") == 0)
                    break;
                if (u.kind == Tk::Word && xf86nameCompare(w, "Option") == 0) {
                    XF86OptionList ignored;
                    Body scratch;
                    parse_option(scratch, u.begin, ignored, G_KEEP, 0);
                    continue;
                }
                if (u.kind == Tk::Word && xf86nameCompare(w, "Identifier") == 0) {
                    if (g.kind == XF86SectionKind::Vendor)
                        fail(u.line, "The Identifier keyword requires a quoted string to follow it.");
                    if (sub_id)
                        fail(u.line, "Multiple \"Identifier\" lines.");
                    need_str("Identifier");
                    sub_id = true;
                    continue;
                }
                bad_keyword(u);
            }
            add_item(b, begin, G_KEEP);
            break;
        }
        case Arg::ModeLine: parse_modeline(); add_item(b, begin, G_KEEP); break;
        case Arg::ModeBlock: parse_mode_block(); add_item(b, begin, G_KEEP); break;
        case Arg::DriGroup: {
            Token u = get();
            if (u.kind != Tk::Str && u.kind != Tk::Num)
                fail(u.line, "The Group keyword must be followed by either a group name in quotes or\n"
                             "\ta numerical group id.");
            add_item(b, begin, G_KEEP);
            break;
        }
        case Arg::DriMode: {
            Token u = get();
            if (u.kind != Tk::Num)
                fail(u.line, "The Mode keyword requires a number to follow it.");
            bool octal = u.text[0] == '0' && (u.text.size() < 2 || (u.text[1] != 'x' && u.text[1] != 'X'));
            if (!octal)
                fail(u.line, "The number \"" + std::to_string(int_value(u.text)) +
                                 "\" given in this section must be in octal (0xxx) format.");
            add_item(b, begin, G_KEEP);
            break;
        }
        case Arg::NoArgument: add_item(b, begin, G_KEEP); break;
        case Arg::Count:
            if (get().kind != Tk::Num)
                fail(t.line, std::string("The ") + kwname + " keyword requires a positive integer to follow it.");
            add_item(b, begin, G_KEEP);
            break;
        case Arg::ZAxisMapping: {
            const char* msg = "The ZAxisMapping keyword requires 2 positive numbers or X or Y to follow it.";
            Token u = get();
            if (u.kind == Tk::Num) {
                need_int_msg(msg);
            } else if (!(u.kind == Tk::Word && (xf86nameCompare(u.text, "X") == 0 ||
                                                 xf86nameCompare(u.text, "Y") == 0))) {
                fail(u.line, msg);
            }
            add_item(b, begin, G_KEEP);
            break;
        }
        default: bad_keyword(t);
        }
    }
}

}  // namespace cvx::xf86config::detail::parse
