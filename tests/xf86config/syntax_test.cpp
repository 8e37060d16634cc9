// What the parser accepts and refuses, and the values it reads, against the
// X server's rules (keywords, quoting, numbers, quirks, checks after parsing).
#include "support/diagnostics.h"
#include "support/files.h"
#include "xf86config/xf86config.h"

#include <gtest/gtest.h>

using cvx::test::take_diagnostics;

namespace {

XF86ConfigHolder parse(const std::string& text)
{
    take_diagnostics();
    return XF86ConfigHolder(xf86parseConfigText(text, "test.conf"));
}

template <std::size_t N>
std::string lit(const char (&s)[N])
{
    return std::string(s, N - 1);   // keeps embedded NUL bytes
}

const char* const kDevice = "Section \"Device\"\n Identifier \"d\"\n Driver \"cvx\"\nEndSection\n";

}  // namespace

TEST(NameCompare, IgnoresCaseBlanksTabsAndUnderscoresOnly)
{
    const std::pair<const char*, const char*> same[] = {
        {"Identifier", "IDENTIFIER"}, {"Ident_ifier", "identifier"}, {"_Driver_", "driver"},
        {"Dev ice", "Device"}, {"\tDevice\t", "device"}, {"hw cursor", "HWCursor"}, {"", "_ \t"},
        {"D E V_0", "dev0"},
    };
    for (auto [a, b] : same)
        EXPECT_EQ(xf86nameCompare(a, b), 0) << a << " / " << b;
    const std::pair<const char*, const char*> differ[] = {
        {"Device", "Devices"}, {"Dev", "Device"}, {"-hsync", "hsync"}, {"a-b", "ab"}, {"x", ""},
    };
    for (auto [a, b] : differ) {
        EXPECT_NE(xf86nameCompare(a, b), 0) << a << " / " << b;
        EXPECT_EQ(xf86nameCompare(a, b) < 0, xf86nameCompare(b, a) > 0) << a << " / " << b;
    }
}

TEST(Parse, AcceptsWhatTheServerAccepts)
{
    const std::pair<const char*, std::string> ok[] = {
        {"keywords and section names ignore case, blanks and underscores",
         "SECTION \"dev ice\"\n dRiVeR \"x\"\n Ident_ifier \"d\"\nEnd_Section\n"},
        {"several statements on one line, a string followed straight by a keyword",
         "Section \"Device\" Identifier \"x\"Driver \"cvx\" EndSection"},
        {"comments after barewords and between keyword and argument",
         "Section \"Device\"#c\n Identifier #c\n \"d\"\nEndSection#note\n"},
        {"CRLF line ends", "Section \"Device\"\r\n Identifier \"d\"\r\nEndSection\r\n"},
        {"CR-only line ends", "Section \"Device\"\r Identifier \"d\"\rEndSection\r"},
        {"an empty file", ""},
        {"only comments", "# nothing\n\n   # here\n"},
        {"NUL joins the next line", lit("Section \"Device\"\n Identifier \"dev0\"\0 junk\n Driver \"cvx\"\nEndSection\n")},
        {"Gamma push-back quirk",
         "Section \"Monitor\"\n Identifier \"m\"\n Gamma 1.0 \"ModelName\" \"x\"\nEndSection\n"},
        {"DacSpeed push-back quirk",
         "Section \"Device\"\n Identifier \"d\"\n DacSpeed 100 \"Chipset\" \"c\"\nEndSection\n"},
        {"sync lists in every spacing, with a trailing comma",
         "Section \"Monitor\"\n Identifier \"m\"\n HorizSync 30 - 70, 80\n VertRefresh 50-60,70 - 75,\nEndSection\n"},
        {"Option with and without value, name and value on two lines",
         "Section \"Device\"\n Identifier \"d\"\n Option \"a\"\n Option \"b\"\n \"c\"\nEndSection\n"},
        {"a malformed Option is only logged",
         "Section \"Device\"\n Identifier \"d\"\n Option 5\nEndSection\n"},
        {"obsolete Files keyword swallows its argument",
         "Section \"Files\"\n RgbPath \"/usr/lib/X11/rgb\"\nEndSection\n"},
        {"Module SubSection closed by EndSection, then EndSection",
         "Section \"Module\"\n SubSection \"extmod\"\n EndSection\nEndSection\n"},
        {"every ModeLine flag",
         "Section \"Monitor\"\n Identifier \"m\"\n ModeLine \"x\" 25.175 640 656 752 800 480 490 492 525"
         " Interlace DoubleScan Composite +HSync -HSync +VSync -VSync +CSync -CSync BCast HSkew 2 VScan 1\nEndSection\n"},
        {"a Mode block",
         "Section \"Modes\"\n Identifier \"ms\"\n Mode \"m\"\n DotClock 25.2\n HTimings 640 656 752 800\n"
         " VTimings 480 490 492 525\n Flags \"Interlace\" \"-HSync\"\n HSkew 1\n VScan 2\n EndMode\nEndSection\n"},
        {"every Screen line form",
         std::string(kDevice) + "Section \"Screen\"\n Identifier \"A\"\nEndSection\nSection \"Screen\"\n Identifier \"B\"\nEndSection\n"
         "Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"A\"\n Screen 1 \"B\" RightOf \"A\"\n Screen \"b\" leftof \"A\"\n"
         " Screen \"A\" Relative \"B\" 10 20\n Screen \"A\" Absolute 0 0\n Screen \"A\" 5 6\n Screen \"A\" \"\" \"B\" \"\" \"\"\n"
         " Inactive \"d\"\nEndSection\n"},
        {"a Driver-only Screen", "Section \"Screen\"\n Driver \"s\"\nEndSection\n"},
        {"an unusual Display subsection name",
         "Section \"Screen\"\n Identifier \"s\"\n SubSection \"Foo\"\n Depth 24\n Modes\n EndSubSection\nEndSection\n"},
        {"legacy ServerFlags keywords", "Section \"ServerFlags\"\n DontZap\n BlankTime 10\n DefaultServerLayout \"L\"\nEndSection\n"},
        {"a legacy Pointer section",
         "Section \"Pointer\"\n Protocol \"PS/2\"\n Device \"/dev/mouse\"\n Emulate3Buttons\n ZAxisMapping 4 5\nEndSection\n"},
        {"DRI Group and octal Mode", "Section \"DRI\"\n Group 0\n Mode 0666\nEndSection\n"},
        {"InputClass matches", "Section \"InputClass\"\n Identifier \"c\"\n MatchIsKeyboard \"O_n\"\n NoMatchProduct \"a||b\"\nEndSection\n"},
    };
    for (const auto& [what, text] : ok)
        EXPECT_TRUE(parse(text)) << what << "\n" << take_diagnostics();
}

TEST(Parse, RefusesWhatTheServerRefusesWithItsMessage)
{
    const std::string head = "Section \"Device\"\n Identifier \"d\"\n";
    const std::string mon = "Section \"Monitor\"\n Identifier \"m\"\n";
    const std::string layout = "Section \"Screen\"\n Identifier \"A\"\nEndSection\nSection \"ServerLayout\"\n Identifier \"L\"\n";
    struct Case { const char* what; std::string text; const char* message; };
    const Case bad[] = {
        {"unit suffix", mon + " HorizSync 30-70 kHz\nEndSection\n",
         "line 3 of section Monitor in file test.conf\n\t\"kHz\" is not a valid keyword in this section."},
        {"signed number", head + " VideoRam -5\nEndSection\n", "The VideoRam keyword requires a number to follow it."},
        {"leading dot", head + " VideoRam .5\nEndSection\n", "The VideoRam keyword requires a number to follow it."},
        {"exponent", head + " VideoRam 1e3\nEndSection\n", "\"e3\" is not a valid keyword in this section."},
        {"section name without quotes", "Section Device\n", "The Section keyword requires a quoted string to follow it."},
        {"unknown section", "Section \"Keyboard\"\nEndSection\n", "\"Keyboard\" is not a valid section name."},
        {"missing EndSection", head + " Driver \"cvx\"\n\n", "line 4 of section Device in file test.conf\n\tUnexpected EOF. Missing EndSection keyword?"},
        {"EOF in a Modes section", "Section \"Modes\"\n Identifier \"x\"\n", "\"\" is not a valid keyword in this section."},
        {"second Identifier", head + " Identifier \"e\"\nEndSection\n", "Multiple \"Identifier\" lines."},
        {"no Identifier", "Section \"Device\"\n Driver \"cvx\"\nEndSection\n",
         "line 3 of section Device in file test.conf\n\tThis section must have an Identifier line."},
        {"Screen with Identifier and Driver", "Section \"Screen\"\n Identifier \"a\"\n Driver \"b\"\nEndSection\n",
         "This section must have only one of either Identifier or Driver line."},
        {"byte-order mark", "\xEF\xBB\xBFSection \"Device\"\n", "\"\xEF\xBB\xBFSection\" is not a valid keyword in this section."},
        {"form feed", head + " \f\nEndSection\n", "\"\f\" is not a valid keyword in this section."},
        {"quoted keyword", "Section \"Device\"\n \"Identifier\" \"d\"\nEndSection\n", "\"Identifier\" is not a valid keyword in this section."},
        {"two Gamma values", mon + " Gamma 1.0 2.0\nEndSection\n", "gamma correction value(s) expected"},
        {"Gamma quirk with a bogus word", mon + " Gamma 1.0 \"Bogus\"\nEndSection\n", "\"Bogus\" is not a valid keyword in this section."},
        {"falling range", mon + " HorizSync 70-30\nEndSection\n", "The HorizSync keyword must be followed by a list of numbers or ranges."},
        {"nine sync ranges", mon + " HorizSync 1,2,3,4,5,6,7,8,9\nEndSection\n", "Sorry. Too many horizontal sync intervals."},
        {"CSync is no mode flag", mon + " ModeLine \"x\" 25 640 656 752 800 480 490 492 525 CSync\nEndSection\n",
         "\"CSync\" is not a valid keyword in this section."},
        {"short ModeLine", mon + " ModeLine \"x\" 25 640 656 752 800 480 490 492\nEndSection\n", "ModeLine VTotal expected"},
        {"Mode block without timings", mon + " Mode \"x\"\n DotClock 25\n EndMode\nEndSection\n", "the horizontal timings are missing"},
        {"Absolute without position", layout + " Screen \"A\" Absolute\nEndSection\n", "Invalid Screen line."},
        {"negative offset", layout + " Screen \"A\" Relative \"A\" 100 -20\nEndSection\n", "Invalid Screen line."},
        {"one coordinate", layout + " Screen \"A\" 10\nEndSection\n", "Invalid Screen line."},
        {"three neighbour names", layout + " Screen \"A\" \"a\" \"b\" \"c\"\nEndSection\n", "The Screen keyword must be followed by an optional number"},
        {"DRI Mode not octal", "Section \"DRI\"\n Mode 666\nEndSection\n", "The number \"666\" given in this section must be in octal (0xxx) format."},
        {"Option in Module", "Section \"Module\"\n Option \"a\"\nEndSection\n", "\"Option\" is not a valid keyword in this section."},
        {"Identifier in Files", "Section \"Files\"\n Identifier \"a\"\nEndSection\n", "\"Identifier\" is not a valid keyword in this section."},
        {"MatchIs without a boolean", "Section \"InputClass\"\n Identifier \"c\"\n MatchIsKeyboard \"maybe\"\nEndSection\n",
         "The MatchIsKeyboard keyword requires a boolean to follow it."},
        {"stray text at top level", "Identifier \"x\"\n", "\"Identifier\" is not a valid keyword in this section."},
        {"undefined layout screen", layout + " Screen \"B\"\nEndSection\n",
         "Undefined Screen \"B\" referenced by ServerLayout \"L\"."},
        {"undefined input device", layout + " InputDevice \"k\"\nEndSection\n", "Undefined InputDevice \"k\" referenced by ServerLayout \"L\"."},
        {"screens are checked before layouts, wherever they stand",
         "Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"Nope\"\nEndSection\n"
         "Section \"Screen\"\n Identifier \"A\"\n VideoAdaptor \"v\"\nEndSection\n",
         "Data incomplete on line 7 of section Screen in file test.conf\n"
         "\tUndefined VideoAdaptor \"v\" referenced by Screen \"A\".\n"},
        {"input device without driver", "Section \"InputDevice\"\n Identifier \"k\"\nEndSection\n",
         "InputDevice section \"k\" must have a Driver line."},
        {"undefined Modes section", mon + " UseModes \"nope\"\nEndSection\nSection \"Screen\"\n Identifier \"S\"\n Monitor \"M\"\nEndSection\n",
         "Undefined Modes Section \"nope\" referenced by Monitor \"S\"."},
        {"string pulled over a NUL", lit("Section \"Device\"\n Identifier \"dev0\0junk\"\n Driver \"cvx\"\nEndSection\n"),
         "is not a valid keyword in this section."},
    };
    for (const Case& c : bad) {
        EXPECT_FALSE(parse(c.text)) << c.what;
        std::string diag = take_diagnostics();
        EXPECT_NE(diag.find(c.message), std::string::npos) << c.what << "\n" << diag;
    }
}

TEST(Parse, ReadsNumbersAsTheServerDoes)
{
    auto tree = parse(
        "Section \"Device\"\n Identifier \"d\"\n VideoRam 019999\n ChipID 0xffffffff\n MemBase 0xe0000000\n"
        " IOBase 0X18\n DacSpeed 135.5 0x10\n Clocks 25.175 28.322\n Clocks 31.5\nEndSection\n"
        "Section \"Monitor\"\n Identifier \"m\"\n HorizSync 070, 0x1e - 30.5\n DisplaySize 320.9 240.2\n Gamma 1.2\n"
        " ModeLine \"a\" 108.88 01015 0x280 1344 1600 864 865 868 900 HSkew 010\nEndSection\n"
        "Section \"Screen\"\n Identifier \"s\"\n DefaultColorDepth 030\n SubSection \"Display\"\n Depth 24.9\n"
        " Modes \"a\"\n \"b\" \"c\"\n Modes \"d\"\n ViewPort 16384x 2\n EndSubSection\nEndSection\n");
    ASSERT_TRUE(tree) << take_diagnostics();
    auto* d = xf86devices(tree.get()).at(0);
    EXPECT_EQ(d->videoram, 1);
    EXPECT_EQ(d->chipid, -1);
    EXPECT_EQ(d->mem_base, static_cast<unsigned long>(static_cast<long>(static_cast<int>(0xe0000000u))));
    EXPECT_EQ(d->io_base, 24u);
    EXPECT_EQ(d->dacSpeeds[0], 135500);
    EXPECT_EQ(d->dacSpeeds[1], 16000);
    EXPECT_EQ(d->dacSpeeds[2], 0);
    EXPECT_EQ(d->clocks, (std::vector<int>{25175, 28322, 31500}));
    auto* m = xf86monitors(tree.get()).at(0);
    ASSERT_EQ(m->hsync.size(), 2u);
    EXPECT_FLOAT_EQ(m->hsync[0].lo, 70);
    EXPECT_FLOAT_EQ(m->hsync[0].hi, 70);
    EXPECT_FLOAT_EQ(m->hsync[1].lo, 30);
    EXPECT_FLOAT_EQ(m->hsync[1].hi, 30.5);
    EXPECT_EQ(m->width, 320);
    EXPECT_EQ(m->height, 240);
    EXPECT_FLOAT_EQ(m->gamma_blue, 1.2f);
    const XF86ConfModeLineRec& ml = m->modelines.at(0);
    EXPECT_EQ(ml.clock, 108880);
    EXPECT_EQ(ml.hdisplay, 525);
    EXPECT_EQ(ml.hsyncstart, 640);
    EXPECT_EQ(ml.hskew, 8);
    EXPECT_EQ(ml.flags, XF86CONF_HSKEW);
    auto* s = xf86screens(tree.get()).at(0);
    EXPECT_EQ(s->defaultdepth, 24);
    ASSERT_EQ(s->displays.size(), 1u);
    EXPECT_EQ(s->displays[0].depth, 24);
    EXPECT_EQ(s->displays[0].modes, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(s->displays[0].frame_x0, 16384);
}

TEST(Parse, ReadsStringsQuirksAndLinks)
{
    auto tree = parse(
        "Section \"Device\"\n Identifier \"dev0\"\n Driver \"a\\tb\\\\\"\n BoardName \"x#y\" # trailing\n"
        " Option \"NoHal\"\n Option \"hw cursor\" \"off\" # why\n Option \"HWCursor\" \"on\"\n BusID \"PCI:1:0:0\n"
        "EndSection\nSection \"Monitor\"\n Identifier \"m\"\n Gamma 1.5 \"ModelName\" \"Panel\"\nEndSection\n"
        "Section \"Screen\"\n Identifier \"A\"\n Device \"D E V_0\"\n Monitor \"M\"\nEndSection\n"
        "Section \"Screen\"\n Driver \"Bee\"\nEndSection\n"
        "Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"a\"\n Screen 3 \"bee\" RightOf \"A\"\n"
        " Screen \"A\" \"Bee\" \"bee\" \"\" \"A\"\nEndSection\n");
    ASSERT_TRUE(tree) << take_diagnostics();
    auto* d = xf86devices(tree.get()).at(0);
    EXPECT_EQ(d->driver, "a\\tb\\\\");
    EXPECT_EQ(d->board, "x#y");
    EXPECT_EQ(d->busid, "PCI:1:0:0");   // unterminated: ends with the line
    ASSERT_EQ(d->options.size(), 3u);
    EXPECT_FALSE(d->options[0].value);
    EXPECT_EQ(d->options[1].comment, "# why");
    auto* m = xf86monitors(tree.get()).at(0);
    EXPECT_EQ(m->model, "Panel");
    EXPECT_FLOAT_EQ(m->gamma_green, 1.5f);
    auto screens = xf86screens(tree.get());
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0]->device, d);
    EXPECT_EQ(screens[0]->monitor, m);
    EXPECT_EQ(screens[1]->identifier, "Bee");
    EXPECT_EQ(screens[1]->obsolete_driver, "Bee");
    auto* l = xf86layouts(tree.get()).at(0);
    ASSERT_EQ(l->adjacencies.size(), 3u);
    EXPECT_EQ(l->adjacencies[0].screen, screens[0]);
    EXPECT_EQ(l->adjacencies[0].scrnum, -1);
    EXPECT_EQ(l->adjacencies[1].scrnum, 3);
    EXPECT_EQ(l->adjacencies[1].screen, screens[1]);
    EXPECT_EQ(l->adjacencies[1].where, CONF_ADJ_RIGHTOF);
    EXPECT_EQ(l->adjacencies[1].refscreen, "A");
    // The neighbour names of the old form match exactly.
    const XF86ConfAdjacencyRec& old = l->adjacencies[2];
    EXPECT_EQ(old.where, CONF_ADJ_OBSOLETE);
    EXPECT_EQ(old.top_screen, screens[1]);
    EXPECT_EQ(old.bottom_screen, nullptr);
    EXPECT_EQ(old.right_screen, screens[0]);
}

TEST(Parse, SurvivesHostileInput)
{
    std::string garbage;
    unsigned x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage.push_back(static_cast<char>(x >> 16));
    }
    EXPECT_FALSE(parse(garbage));
    // A NUL drops the rest of its line: without a line end that is the whole file.
    auto nothing = parse(std::string(1 << 20, '\0') + "Section");
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(nothing->sections.empty());
    EXPECT_FALSE(parse(std::string(1 << 20, '\0') + "\nSection"));
    EXPECT_FALSE(parse("Section \"Device\"\n Identifier \"" + std::string(1 << 20, 'x')));

    std::string long_line = "Section \"Device\"\n Identifier \"" + std::string(1 << 20, '\xe9') + "\" " +
                            std::string(1 << 20, ' ') + "\nEndSection\n";
    auto tree = parse(long_line);
    ASSERT_TRUE(tree);
    EXPECT_EQ(xf86writeConfigText(tree.get()), long_line);

    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "Section \"Device\"\n Identifier \"d" + std::to_string(i) + "\"\nEndSection\n";
    tree = parse(many);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->sections.size(), 100000u);
    EXPECT_EQ(xf86writeConfigText(tree.get()), many);
    EXPECT_FALSE(parse(many + "Section \"Device\"\n"));
}

// The checks after parsing keep the server's words and say, like every other
// parse error, on which line of which section the reference stands.
TEST(Parse, CrossReferenceErrorsSayWhere)
{
    const std::string screen_a = "Section \"Screen\"\n Identifier \"A\"\nEndSection\n";
    struct Case { const char* what; std::string text; const char* diagnostic; };
    const Case cases[] = {
        {"layout screen", screen_a + "Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"A\"\n Screen \"Nope\"\nEndSection\n",
         "Data incomplete on line 7 of section ServerLayout in file test.conf\n"
         "\tUndefined Screen \"Nope\" referenced by ServerLayout \"L\".\n"},
        {"layout input device", screen_a + "Section \"serverlayout\"\n Identifier \"L\"\n\n InputDevice \"k\" \"CoreKeyboard\"\nEndSection\n",
         "Data incomplete on line 7 of section serverlayout in file test.conf\n"
         "\tUndefined InputDevice \"k\" referenced by ServerLayout \"L\".\n"},
        {"layout inactive device", screen_a + "Section \"ServerLayout\"\n Identifier \"L\" Inactive \"d\"\nEndSection\n",
         "Data incomplete on line 5 of section ServerLayout in file test.conf\n"
         "\tUndefined Device \"d\" referenced by ServerLayout \"L\".\n"},
        {"screen adaptor", "Section \"Screen\"\n Identifier \"A\"\n VideoAdaptor \"v\"\nEndSection\n",
         "Data incomplete on line 3 of section Screen in file test.conf\n"
         "\tUndefined VideoAdaptor \"v\" referenced by Screen \"A\".\n"},
        {"adaptor of two screens",
         "Section \"VideoAdaptor\"\n Identifier \"v\"\nEndSection\nSection \"Screen\"\n Identifier \"A\"\n VideoAdaptor \"v\"\n"
         "EndSection\nSection \"Screen\"\n Identifier \"B\"\n\n VideoAdaptor \"v\"\nEndSection\n",
         "Data incomplete on line 11 of section Screen in file test.conf\n"
         "\tVideoAdaptor \"v\" already referenced by Screen \"A\".\n"},
        {"monitor modes", "Section \"Monitor\"\n Identifier \"M\"\n UseModes \"nope\"\nEndSection\n"
                          "Section \"Screen\"\n Identifier \"S\"\n Monitor \"M\"\nEndSection\n",
         "Data incomplete on line 3 of section Monitor in file test.conf\n"
         "\tUndefined Modes Section \"nope\" referenced by Monitor \"S\".\n"},
        {"screens are checked before layouts, wherever they stand",
         "Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"Nope\"\nEndSection\n"
         "Section \"Screen\"\n Identifier \"A\"\n VideoAdaptor \"v\"\nEndSection\n",
         "Data incomplete on line 7 of section Screen in file test.conf\n"
         "\tUndefined VideoAdaptor \"v\" referenced by Screen \"A\".\n"},
        {"input device without driver", std::string(kDevice) + "\nSection \"InputDevice\"\n Identifier \"k\"\nEndSection\n",
         "Data incomplete on line 6 of section InputDevice in file test.conf\n"
         "\tInputDevice section \"k\" must have a Driver line.\n"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(parse(c.text)) << c.what;
        EXPECT_EQ(take_diagnostics(), c.diagnostic) << c.what;
    }
}
