// Options and edits: the lookups the program uses, and what the writer does
// with changed, new and removed content.
#include "support/diagnostics.h"
#include "support/files.h"
#include "xf86config/xf86config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>

using cvx::test::read_file;
using cvx::test::take_diagnostics;

using namespace std::string_literals;

namespace {

XF86ConfigHolder parse(const std::string& text)
{
    take_diagnostics();
    XF86ConfigHolder t(xf86parseConfigText(text, "edit.conf"));
    EXPECT_TRUE(t) << take_diagnostics();
    return t;
}

// Writes, checks that the text reads back as the same tree, returns the text.
std::string write(XF86ConfigPtr tree)
{
    std::string out = xf86writeConfigText(tree);
    XF86ConfigHolder again(xf86parseConfigText(out, "written.conf"));
    EXPECT_TRUE(again) << out << take_diagnostics();
    if (again) {
        EXPECT_TRUE(xf86configEqual(tree, again.get())) << out;
    }
    return out;
}

const std::string kTabbed =
    "# head comment\n"
    "Section \"Device\"\n"
    "\tIdentifier\t\"CORVEX CARD 1\"\n"
    "\tDriver\t\t\"nv\"\t# was here\n"
    "\t# the options\n"
    "\tOption\t\"NoHal\"\n"
    "\tOption\t\"hw cursor\"  \"on\"   # keep me\n"
    "EndSection\n"
    "\n"
    "Section \"Monitor\"\n"
    "\tIdentifier\t\"Display 1\"\n"
    "\tModeLine \"640x480\" 25.175 640 656 752 800 480 490 492 525 -hsync -vsync\n"
    "\tMode \"800x600\"\n"
    "\t\tDotClock 40\n"
    "\t\tHTimings 800 840 968 1056\n"
    "\t\tVTimings 600 601 605 628\n"
    "\tEndMode\n"
    "EndSection\n"
    "# tail\n";

}  // namespace

TEST(Options, LookupsFollowTheServersComparisonAndOrder)
{
    XF86OptionList list;
    xf86addNewOption(list, "hw cursor", std::string("on"));
    xf86addNewOption(list, "NoHal", std::nullopt);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(xf86findOption(list, "HW_Cursor"), &list[0]);
    EXPECT_STREQ(xf86findOptionValue(list, "hwcursor"), "on");
    EXPECT_STREQ(xf86findOptionValue(list, "nohal"), "");
    EXPECT_EQ(xf86findOptionValue(list, "TV"), nullptr);

    // Replacing keeps the place and the comment; the first duplicate is the one found.
    list[0].comment = "# c";
    list.push_back({"HWCursor", std::string("off"), std::nullopt, {}});
    xf86addNewOption(list, "Hw Cursor", std::string("off"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "hw cursor");
    EXPECT_EQ(list[0].value, "off");
    EXPECT_EQ(list[0].comment, "# c");
    xf86addNewOption(list, "TV", std::string("yes"));
    EXPECT_EQ(list.back().name, "TV");

    const XF86OptionList& clist = list;
    EXPECT_EQ(xf86findOption(clist, "tv"), &list.back());
}

TEST(Lookups, FindSectionsAndModeLinesByTheServersComparison)
{
    auto tree = parse(kTabbed + "Section \"Screen\"\n Identifier \"Display 1\"\nEndSection\n"
                                "Section \"Screen\"\n Identifier \"display_1\"\nEndSection\n"
                                "Section \"ServerLayout\"\n Identifier \"L b\"\n Screen \"Display 1\"\nEndSection\n");
    EXPECT_EQ(xf86findDevice("corvex card1", tree.get()), xf86devices(tree.get())[0]);
    EXPECT_EQ(xf86findMonitor("DISPLAY_1", tree.get()), xf86monitors(tree.get())[0]);
    EXPECT_EQ(xf86findScreen("display1", tree.get()), xf86screens(tree.get())[0]);   // the first match
    EXPECT_EQ(xf86findLayout("LB", tree.get()), xf86layouts(tree.get())[0]);
    EXPECT_EQ(xf86findDevice("CORVEX CARD 2", tree.get()), nullptr);
    auto& modes = xf86monitors(tree.get())[0]->modelines;
    EXPECT_EQ(xf86findModeLine("800X600", modes), &modes[1]);
    EXPECT_EQ(xf86findModeLine("1024x768", modes), nullptr);
    EXPECT_EQ(xf86findScreen("x", nullptr), nullptr);
}

TEST(Writer, ChangesOnlyTheStatementsThatChanged)
{
    auto tree = parse(kTabbed);
    auto* d = xf86devices(tree.get())[0];
    d->driver = "cvx";
    xf86addNewOption(d->options, "hw cursor", std::string("off"));
    xf86addNewOption(d->options, "TV", std::string("no"));
    d->busid = "PCI:1:0:0";
    std::string out = write(tree.get());
    EXPECT_EQ(out,
              "# head comment\n"
              "Section \"Device\"\n"
              "\tIdentifier\t\"CORVEX CARD 1\"\n"
              "\tDriver\t\t\"cvx\"\t# was here\n"
              "\t# the options\n"
              "\tOption\t\"NoHal\"\n"
              "\tOption\t\"hw cursor\" \"off\"   # keep me\n"
              "\tOption\t\"TV\" \"no\"\n"
              "\tBusID        \"PCI:1:0:0\"\n"
              "EndSection\n" +
                  kTabbed.substr(kTabbed.find("\nSection \"Monitor\"")));

    // Removing: the statement's line goes, the comment lines above it stay.
    tree = parse(kTabbed);
    d = xf86devices(tree.get())[0];
    d->options.erase(d->options.begin());
    d->driver.reset();
    out = write(tree.get());
    EXPECT_EQ(out.substr(0, out.find("EndSection")),
              "# head comment\nSection \"Device\"\n\tIdentifier\t\"CORVEX CARD 1\"\n\t# the options\n"
              "\tOption\t\"hw cursor\"  \"on\"   # keep me\n");

    // A repeated keyword: the last one is rewritten, and all go when the value does.
    tree = parse("Section \"Device\"\n Identifier \"d\"\n BusID \"a\"\n BusID \"b\"\nEndSection\n");
    d = xf86devices(tree.get())[0];
    EXPECT_EQ(d->busid, "b");
    d->busid = "c";
    EXPECT_EQ(write(tree.get()), "Section \"Device\"\n Identifier \"d\"\n BusID \"a\"\n BusID \"c\"\nEndSection\n");
    d->busid.reset();
    EXPECT_EQ(write(tree.get()), "Section \"Device\"\n Identifier \"d\"\nEndSection\n");

    // A changed comment replaces the old one; reordering rewrites the list in the new order.
    tree = parse(kTabbed);
    d = xf86devices(tree.get())[0];
    d->options[1].comment = "# new";
    std::swap(d->options[0], d->options[1]);
    out = write(tree.get());
    EXPECT_NE(out.find("\tOption\t\"hw cursor\" \"on\" # new\n\tOption\t\"NoHal\"\nEndSection"), std::string::npos) << out;
}

TEST(Writer, WritesModeLinesExactly)
{
    auto tree = parse(kTabbed);
    auto* m = xf86monitors(tree.get())[0];
    m->modelines[0].clock = 108880;
    m->modelines[1].hdisplay = 801;
    XF86ConfModeLineRec ml = m->modelines[0];
    ml.identifier = "1280x1024";
    ml.clock = 108000;
    ml.flags = XF86CONF_PHSYNC | XF86CONF_NVSYNC | XF86CONF_INTERLACE | XF86CONF_HSKEW | XF86CONF_VSCAN;
    ml.hskew = 3;
    ml.vscan = 2;
    m->modelines.push_back(ml);
    const std::string out = write(tree.get());
    EXPECT_NE(out.find("\tModeLine \"640x480\" 108.88 640 656 752 800 480 490 492 525 -HSync -VSync\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\tMode \"800x600\"\n\t\tDotClock     40.0\n\t\tHTimings     801 840 968 1056\n"
                       "\t\tVTimings     600 601 605 628\n\tEndMode\n"),
              std::string::npos) << out;
    EXPECT_NE(out.find("\tModeLine \"1280x1024\" 108.0 640 656 752 800 480 490 492 525 +HSync -VSync Interlace HSkew 3 VScan 2\n"
                       "EndSection\n# tail\n"),
              std::string::npos) << out;
    auto again = XF86ConfigHolder(xf86parseConfigText(out, "x"));
    ASSERT_TRUE(again);
    EXPECT_EQ(xf86monitors(again.get())[0]->modelines[0].clock, 108880);

    // Numbers beyond the range of int read as the server reads them (a
    // frequency as INT_MIN, a whole number wrapped); a rewritten statement
    // keeps those values (write() reads the text back).
    auto huge = parse("Section \"Monitor\"\n Identifier \"M\"\n ModeLine \"x\" 2311820 1 2 3 4294967295 5 6 7 8\nEndSection\n"
                      "Section \"Device\"\n Identifier \"D\"\n Clocks 3000000\nEndSection\n");
    auto& huge_ml = xf86monitors(huge.get())[0]->modelines[0];
    EXPECT_EQ(huge_ml.clock, std::numeric_limits<int>::min());
    huge_ml.hdisplay = 640;
    xf86devices(huge.get())[0]->clocks.push_back(25175);
    const std::string rewritten = write(huge.get());
    EXPECT_EQ(huge_ml.htotal, -1);
    EXPECT_NE(rewritten.find("2147483.648 640 2 3 4294967295 5 6 7 8"), std::string::npos) << rewritten;
    EXPECT_NE(rewritten.find("Clocks"), std::string::npos) << rewritten;
}

TEST(Writer, PlacesNewSectionsAndKeepsLineEnds)
{
    // CRLF and no final newline: new lines use CRLF and start on a line of their own.
    auto tree = parse("Section \"Device\"\r\n Identifier \"d\"\r\nEndSection\r\n\r\nSection \"Screen\"\r\n"
                      " Identifier \"s\"\r\nEndSection");
    auto dev = std::make_unique<XF86ConfDeviceRec>();
    dev->identifier = "CORVEX CARD 2";
    dev->driver = "cvx";
    dev->screen = 1;
    xf86addSection(tree.get(), std::move(dev));
    auto scr = std::make_unique<XF86ConfScreenRec>();
    scr->identifier = "Display 2";
    scr->device_name = "CORVEX CARD 2";
    XF86ConfDisplayRec disp;
    disp.depth = 24;
    disp.modes = {"640x480"};
    scr->displays.push_back(disp);
    xf86addSection(tree.get(), std::move(scr));
    xf86devices(tree.get())[0]->options.push_back({"TV", std::string("yes"), std::nullopt, {}});
    const std::string out = write(tree.get());
    EXPECT_EQ(out,
              "Section \"Device\"\r\n Identifier \"d\"\r\n Option       \"TV\" \"yes\"\r\nEndSection\r\n\r\n"
              "Section \"Device\"\r\n    Identifier   \"CORVEX CARD 2\"\r\n    Driver       \"cvx\"\r\n"
              "    Screen       1\r\nEndSection\r\n\r\n"
              "Section \"Screen\"\r\n Identifier \"s\"\r\nEndSection\r\n\r\n"
              "Section \"Screen\"\r\n    Identifier   \"Display 2\"\r\n    Device       \"CORVEX CARD 2\"\r\n"
              "    SubSection \"Display\"\r\n        Depth        24\r\n        Modes        \"640x480\"\r\n"
              "    EndSubSection\r\nEndSection\r\n");
}

TEST(Writer, KeepsWhatItDoesNotUnderstandAndWhatIsUntouched)
{
    const std::string text =
        "Section \"Files\"\n  RgbPath \"x\"\n  FontPath \"/a,/b\"\nEndSection\n"
        "Section \"Device\"\n  Identifier \"d\"\n  MatchSeat \"seat1\"\n  Chipset \"unterminated\n"
        "  VideoRam 019999  Option \"a\" \"1\"\nEndSection\n"
        "Section \"Screen\"\n  Driver \"old\"\n  GPUDevice \"g\"\n  Virtual 1 2\n"
        "  SubSection \"Display\"\n    Depth 030\n    Modes \"a\"\n      \"b\"\n    ViewPort 0 0\n  EndSubSection\nEndSection\n";
    auto tree = parse(text);
    EXPECT_EQ(xf86writeConfigText(tree.get()), text);
    auto* d = xf86devices(tree.get())[0];
    d->options[0].value = "2";
    auto* s = xf86screens(tree.get())[0];
    s->displays[0].modes.push_back("c");
    s->identifier = "Display 1";   // a Driver-only screen renamed: Identifier replaces Driver
    const std::string out = xf86writeConfigText(tree.get());
    EXPECT_EQ(out,
              "Section \"Files\"\n  RgbPath \"x\"\n  FontPath \"/a,/b\"\nEndSection\n"
              "Section \"Device\"\n  Identifier \"d\"\n  MatchSeat \"seat1\"\n  Chipset \"unterminated\n"
              "  VideoRam 019999  Option \"a\" \"2\"\nEndSection\n"
              "Section \"Screen\"\n  Identifier   \"Display 1\"\n  GPUDevice \"g\"\n  Virtual 1 2\n"
              "  SubSection \"Display\"\n    Depth 030\n    Modes \"a\" \"b\" \"c\"\n    ViewPort 0 0\n  EndSubSection\nEndSection\n");
    s->obsolete_driver.reset();
    EXPECT_EQ(write(tree.get()), out);
}

TEST(Writer, RefusesContentTheFormatCannotHold)
{
    const std::pair<const char*, void (*)(XF86ConfigPtr)> bad[] = {
        {"quote in a value", [](XF86ConfigPtr t) { xf86devices(t)[0]->driver = "a\"b"; }},
        {"newline in an option", [](XF86ConfigPtr t) { xf86addNewOption(xf86devices(t)[0]->options, "x", std::string("1\n2")); }},
        {"negative frequency", [](XF86ConfigPtr t) { xf86devices(t)[0]->clocks.push_back(-5); }},
        {"relation without reference", [](XF86ConfigPtr t) {
             auto& a = xf86layouts(t)[0]->adjacencies[0];
             a.where = CONF_ADJ_RIGHTOF;
             a.refscreen.reset();
         }},
        {"Option in a DRI section", [](XF86ConfigPtr t) {
             auto dri = std::make_unique<XF86GenericSectionRec>(XF86SectionKind::DRI);
             xf86addNewOption(dri->options, "x", std::nullopt);
             xf86addSection(t, std::move(dri));
         }},
        {"nine sync ranges", [](XF86ConfigPtr t) {
             auto m = std::make_unique<XF86ConfMonitorRec>();
             m->identifier = "m";
             m->hsync.assign(9, XF86ConfRange{30, 40});
             xf86addSection(t, std::move(m));
         }},
    };
    const std::string text = "Section \"Device\"\n Identifier \"d\"\nEndSection\nSection \"Screen\"\n Identifier \"s\"\nEndSection\n"
                             "Section \"ServerLayout\"\n Identifier \"l\"\n Screen \"s\"\nEndSection\n";
    const cvx::test::TempDir tmp("cvx-xf86");
    const std::filesystem::path dir = tmp.path();
    const std::string path = (dir / "out.conf").string();
    for (const auto& [what, edit] : bad) {
        auto tree = parse(text);
        edit(tree.get());
        take_diagnostics();
        EXPECT_EQ(xf86writeConfigFile(path.c_str(), tree.get()), 0) << what;
        EXPECT_NE(take_diagnostics().find("Cannot write the configuration"), std::string::npos) << what;
        EXPECT_EQ(xf86writeConfigText(tree.get()), "") << what;
    }
    auto tree = parse(text);
    ASSERT_EQ(xf86writeConfigFile(path.c_str(), tree.get()), 1);
    EXPECT_EQ(read_file(path), text);
    EXPECT_EQ(xf86writeConfigFile((dir / "missing" / "x.conf").c_str(), tree.get()), 0);
    // Never through a symbolic link, never into something that is not a plain file.
    std::filesystem::create_symlink(path, dir / "link.conf");
    EXPECT_EQ(xf86writeConfigFile((dir / "link.conf").c_str(), tree.get()), 0);
    EXPECT_EQ(xf86writeConfigFile(dir.c_str(), tree.get()), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(xf86writeConfigFile((dir / "fifo").c_str(), tree.get()), 0);
    EXPECT_EQ(read_file(path), text);
    EXPECT_EQ(xf86writeConfigFile(path.c_str(), nullptr), 0);
}

TEST(Writer, SectionCommentsAndCopies)
{
    auto tree = parse(kTabbed);
    auto* d = xf86devices(tree.get())[0];
    EXPECT_EQ(d->comment(), "# the options");
    d->set_comment("# board 1\n# head 0");
    // A copy is new content: written in the clean layout, after the original.
    auto copy = std::make_unique<XF86ConfDeviceRec>(*d);
    copy->identifier = "CORVEX CARD 2";
    copy->set_comment(std::nullopt);
    xf86addSection(tree.get(), std::move(copy));
    const std::string out = write(tree.get());
    EXPECT_EQ(out.substr(0, out.find("Section \"Monitor\"")),
              "# head comment\nSection \"Device\"\n\t# board 1\n\t# head 0\n\tIdentifier\t\"CORVEX CARD 1\"\n"
              "\tDriver\t\t\"nv\"\t# was here\n\tOption\t\"NoHal\"\n\tOption\t\"hw cursor\"  \"on\"   # keep me\nEndSection\n\n"
              "Section \"Device\"\n    Identifier   \"CORVEX CARD 2\"\n    Driver       \"nv\"\n"
              "    Option       \"NoHal\"\n    Option       \"hw cursor\" \"on\" # keep me\nEndSection\n\n");
}

TEST(Writer, SectionCommentsAreReadFromTheTextUntilSet)
{
    // A section read from a file leaves its comment lines in the text; reading
    // them changes nothing, and the section can outlive its tree.
    auto tree = parse(kTabbed);
    XF86ConfDevicePtr d = xf86devices(tree.get())[0];
    EXPECT_TRUE(d->comment_as_read());
    EXPECT_EQ(d->comment(), "# the options");
    EXPECT_EQ(xf86writeConfigText(tree.get()), kTabbed);
    d->set_comment("# the options");   // the same text, given: still the same file
    EXPECT_FALSE(d->comment_as_read());
    EXPECT_EQ(xf86writeConfigText(tree.get()), kTabbed);
    EXPECT_EQ(xf86monitors(tree.get())[0]->comment(), std::nullopt);

    auto again = parse(kTabbed);
    EXPECT_TRUE(xf86configEqual(tree.get(), again.get()));
    XF86ConfDeviceRec copy = *xf86devices(again.get())[0];
    EXPECT_FALSE(copy.comment_as_read());
    EXPECT_EQ(copy.given_comment(), "# the options");
    std::unique_ptr<XF86SectionRec> taken = std::move(again->sections[0]);
    again.reset();
    EXPECT_EQ(taken->comment(), "# the options");
    xf86devices(tree.get())[0]->set_comment(std::nullopt);
    EXPECT_FALSE(xf86configEqual(tree.get(), parse(kTabbed).get()));
}

TEST(Writer, AnEmptyNameOrCommentIsNotAMissingOne)
{
    // A name given as "" is a statement of the file: it stays when its section
    // is rewritten, and the tree tells it from an absent one.
    auto tree = parse("Section \"Device\"\n Identifier \"D\"\n VendorName \"\"\n Driver \"nv\"\nEndSection\n"
                      "Section \"Screen\"\n Identifier \"S\"\n Device \"D\"\n SubSection \"Display\"\n"
                      "  Visual \"\"\n EndSubSection\nEndSection\n");
    auto* d = xf86devices(tree.get())[0];
    ASSERT_TRUE(d->vendor);
    EXPECT_EQ(*d->vendor, "");
    EXPECT_FALSE(d->board);
    EXPECT_NE(d->vendor, d->board);
    d->driver = "cvx";
    xf86screens(tree.get())[0]->displays[0].options.push_back({"Opt", std::nullopt, "#", {}});
    const std::string out = write(tree.get());
    EXPECT_NE(out.find(" VendorName \"\"\n Driver \"cvx\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  Visual \"\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\"Opt\" #\n"), std::string::npos) << out;   // an empty comment is still one

    // A copy owns its texts: changing one leaves the other as it was.
    XF86ConfDeviceRec copy = *d;
    copy.vendor.reset();
    copy.driver = "other";
    EXPECT_EQ(d->vendor, "");
    EXPECT_EQ(d->driver, "cvx");
    copy = *d;
    EXPECT_EQ(copy.vendor, d->vendor);
    copy = copy;
    EXPECT_EQ(copy.driver, "cvx");
    // Read in place: a C string for C interfaces, a std::string on demand.
    EXPECT_STREQ(copy.driver->c_str(), "cvx");
    const std::string driver = *copy.driver;
    EXPECT_EQ(driver, "cvx");
    EXPECT_EQ(copy.board.value_or("none"), "none");
    copy.board = std::string("a\0b", 3);   // a text keeps every byte it is given
    EXPECT_EQ(copy.board->size(), 3u);
    EXPECT_EQ(*copy.board, std::string_view("a\0b", 3));
    // A null C string, as C interfaces return for "none", is an absent text.
    const char* none = nullptr;
    copy.board = none;
    EXPECT_FALSE(copy.board);
}

TEST(Writer, StatementsMovedBetweenSectionsAreWrittenWhereTheyNowStand)
{
    // A statement keeps where it was read when it is moved: moved into
    // another section it is written there once, in that section's spelling,
    // and leaves its first section without it.
    auto tree = parse("Section \"Device\"\n"
                      "\tIdentifier \"A\"\n"
                      "\tOption \"Moved\" \"1\"   # from A\n"
                      "EndSection\n"
                      "Section \"Device\"\n"
                      "\tIdentifier \"B\"\n"
                      "\tOption \"Own\" \"2\"     # of B\n"
                      "EndSection\n"
                      "Section \"Monitor\"\n"
                      "\tIdentifier \"M\"\n"
                      "\tModeLine \"a\" 25.175 640 656 752 800 480 490 492 525\n"
                      "\tModeLine \"b\" 40 800 840 968 1056 600 601 605 628\n"
                      "EndSection\n");
    auto devices = xf86devices(tree.get());
    XF86OptionRec moved = std::move(devices[0]->options[0]);
    devices[0]->options.clear();
    devices[1]->options[0] = std::move(moved);
    // Swapped within a section: the list is written anew, in the new order.
    auto& modes = xf86monitors(tree.get())[0]->modelines;
    std::swap(modes[0], modes[1]);
    const std::string out = write(tree.get());
    EXPECT_EQ(out,
              "Section \"Device\"\n"
              "\tIdentifier \"A\"\n"
              "EndSection\n"
              "Section \"Device\"\n"
              "\tIdentifier \"B\"\n"
              "\tOption \"Moved\" \"1\" # from A\n"
              "EndSection\n"
              "Section \"Monitor\"\n"
              "\tIdentifier \"M\"\n"
              "\tModeLine \"b\" 40.0 800 840 968 1056 600 601 605 628\n"
              "\tModeLine \"a\" 25.175 640 656 752 800 480 490 492 525\n"
              "EndSection\n");
}

TEST(Writer, KeepsTheMeaningOfQuirkKeywords)
{
    // After a one-value Gamma the server takes the next string as a keyword;
    // once the section changes, that keyword is written as a bareword.
    auto tree = parse("Section \"Monitor\"\n Identifier \"m\"\n Gamma 1.0 \"ModelName\" \"x\"\n"
                      " Gamma 1.1 \"EndSection\"\n");
    auto* m = xf86monitors(tree.get())[0];
    EXPECT_EQ(m->model, "x");
    m->gamma_red = m->gamma_green = m->gamma_blue = 2;
    m->modelines.push_back(XF86ConfModeLineRec{});
    m->modelines.back().identifier = "z";
    const std::string out = write(tree.get());
    EXPECT_EQ(out, "Section \"Monitor\"\n Identifier \"m\"\n Gamma 1.0 ModelName \"x\"\n Gamma 2\n"
                   " ModeLine     \"z\" 0.0 0 0 0 0 0 0 0 0\n EndSection\n");
}

// Pieces of the file that did not stand together in it may come to stand
// together once a statement or section between them is gone or rewritten:
// they must still read as the same tokens. A NUL drops the rest of its line
// and joins the next line onto the text before it, so what follows such a
// line is glued to what stood before the NUL.
TEST(Writer, KeepsTokensApartWherePiecesMeet)
{
    // A statement removed after a line with a NUL: the end keyword would be
    // joined to the bareword before the NUL.
    {
        auto t = parse("Section \"InputDevice\"\n Identifier \"i\"\n Driver \"d\"\n"
                       " Option \"C\"Option\t\x02\0/p\n\tOption \"P\nEndSection"s);
        ASSERT_TRUE(t);
        auto& in = static_cast<XF86GenericSectionRec&>(*t->sections[0]);
        ASSERT_EQ(in.options.size(), 2u);
        in.options.pop_back();
        write(t.get());
    }
    // A rewritten statement that now ends in a bareword, before a NUL line
    // and a statement at the start of the next line.
    {
        auto t = parse("Section \"Monitor\"\n Identifier \"m\"\n"
                       " ModeLine \"a\" 25 640 656 752 800 480 490 492 525\0x\nOption \"o\"\n"
                       "EndSection\n"s);
        ASSERT_TRUE(t);
        XF86ConfMonitorPtr m = xf86monitors(t.get()).front();
        ASSERT_EQ(m->modelines.size(), 1u);
        m->modelines[0].flags = XF86CONF_NHSYNC;
        write(t.get());
    }
    // The same without any NUL: the next statement followed straight on.
    {
        auto t = parse("Section \"Monitor\"\n Identifier \"m\"\n"
                       " ModeLine \"a\" 25 640 656 752 800 480 490 492 525Option \"o\"\n"
                       "EndSection\n");
        ASSERT_TRUE(t);
        xf86monitors(t.get()).front()->modelines[0].flags = XF86CONF_PHSYNC;
        write(t.get());
    }
    // A section removed between two that followed straight on.
    {
        auto t = parse("Section \"Device\"\n Identifier \"a\"\nEndSection"
                       "\tSection \"Device\"\n Identifier \"b\"\nEndSection\n"
                       "Section \"Device\"\n Identifier \"c\"\nEndSection\n");
        ASSERT_TRUE(t);
        t->sections.erase(t->sections.begin() + 1);
        const std::string out = write(t.get());
        EXPECT_EQ(xf86devices(t.get()).size(), 2u);
        EXPECT_NE(out.find("\"c\""), std::string::npos);
    }
    // A section removed whose neighbour was joined on by a NUL line.
    {
        auto t = parse("Section \"Device\"\n Identifier \"a\"\nEndSection\0junk\n "
                       "Section \"Device\"\n Identifier \"b\"\nEndSection\n"
                       "Section \"Device\"\n Identifier \"c\"\nEndSection\n"s);
        ASSERT_TRUE(t);
        t->sections.erase(t->sections.begin() + 1);
        write(t.get());
    }
    // A quoted keyword after a one-value Gamma is rewritten as a bareword: it
    // must not run on into the string after a NUL line.
    {
        auto t = parse("Section \"Monitor\"\n Identifier \"m\"\n Gamma 1.0 \"ModelName\"\0\n\"x\"\n"
                       " Option \"o\"\nEndSection\n"s);
        ASSERT_TRUE(t);
        XF86ConfMonitorPtr m = xf86monitors(t.get()).front();
        EXPECT_EQ(m->model, "x");
        m->options.clear();
        write(t.get());
    }
    // A file with CR line ends only: a NUL drops up to the next LF, which here
    // is never; a new statement after such a line must still be read.
    {
        auto t = parse("Section \"Device\"\r Identifier \"a\"\r Driver \"x\"\rEndSection\0 junk\r"s);
        ASSERT_TRUE(t);
        auto dev = std::make_unique<XF86ConfDeviceRec>();
        dev->identifier = "b";
        xf86addSection(t.get(), std::move(dev));
        write(t.get());
    }
}

namespace {

XF86GenericSectionRec& input_section(XF86ConfigPtr t)
{
    for (auto& s : t->sections)
        if (s->kind == XF86SectionKind::InputDevice)
            return static_cast<XF86GenericSectionRec&>(*s);
    throw std::runtime_error("no InputDevice section");
}

}  // namespace

// A section copied as read must really be unchanged: an edit of any field
// the tree compares reaches the file, whatever record it sits in.
TEST(Writer, EveryEditedFieldIsWritten)
{
    const std::string text =
        "Section \"Device\"\n    Identifier \"dev0\"\n    Driver \"vesa\"\n    VideoRam 4096\n"
        "    ChipID 0x10\n    Clocks 25.2 28.3\n    Option \"NoAccel\" \"on\" # fast\nEndSection\n\n"
        "Section \"Monitor\"\n    Identifier \"mon0\"\n    HorizSync 30 - 60\n    VertRefresh 50 - 75\n"
        "    Gamma 1.0\n    DisplaySize 300 200\n    UseModes \"extra\"\n"
        "    ModeLine \"640x480\" 25.175 640 656 752 800 480 490 492 525 -HSync -VSync # vga\nEndSection\n\n"
        "Section \"Modes\"\n    Identifier \"extra\"\nEndSection\n\n"
        "Section \"Screen\"\n    # main screen\n    Identifier \"scr0\"\n    Device \"dev0\"\n    Monitor \"mon0\"\n"
        "    DefaultDepth 24\n    SubSection \"Display\"\n        Depth 24\n        Modes \"640x480\"\n"
        "        Virtual 800 600\n    EndSubSection\nEndSection\n\n"
        "Section \"InputDevice\"\n    Identifier \"kbd\"\n    Driver \"kbd\"\n    Option \"XkbLayout\" \"us\"\nEndSection\n\n"
        "Section \"ServerLayout\"\n    Identifier \"lay\"\n    Screen 0 \"scr0\" 0 0\n    Inactive \"dev0\"\n"
        "    InputDevice \"kbd\" \"CoreKeyboard\"\nEndSection\n\n"
        "Section \"Module\"\n    Load \"glx\"\n    SubSection \"extmod\"\n        Option \"omit xfree86-dga\"\n"
        "    EndSubSection\nEndSection\n\n"
        "Section \"ServerFlags\"\n    Option \"BlankTime\" \"10\"\nEndSection\n";
    using Edit = void (*)(XF86ConfigPtr);
    const std::pair<const char*, Edit> edits[] = {
        {"device driver", [](XF86ConfigPtr t) { xf86devices(t)[0]->driver = "fbdev"; }},
        {"device board", [](XF86ConfigPtr t) { xf86devices(t)[0]->board = "b"; }},
        {"device videoram", [](XF86ConfigPtr t) { xf86devices(t)[0]->videoram = 8192; }},
        {"device chipid", [](XF86ConfigPtr t) { xf86devices(t)[0]->chipid = 0x11; }},
        {"device clocks", [](XF86ConfigPtr t) { xf86devices(t)[0]->clocks.back() = 31500; }},
        {"device dacspeed", [](XF86ConfigPtr t) { xf86devices(t)[0]->dacSpeeds[0] = 135000; }},
        {"option value", [](XF86ConfigPtr t) { xf86devices(t)[0]->options[0].value = "off"; }},
        {"option comment", [](XF86ConfigPtr t) { xf86devices(t)[0]->options[0].comment = "# slow"; }},
        {"monitor hsync", [](XF86ConfigPtr t) { xf86monitors(t)[0]->hsync[0].hi = 61; }},
        {"monitor vrefresh", [](XF86ConfigPtr t) { xf86monitors(t)[0]->vrefresh[0].lo = 56; }},
        {"monitor gamma", [](XF86ConfigPtr t) { xf86monitors(t)[0]->gamma_blue = 1.5f; }},
        {"monitor size", [](XF86ConfigPtr t) { xf86monitors(t)[0]->height = 210; }},
        {"monitor usemodes", [](XF86ConfigPtr t) { xf86monitors(t)[0]->usemodes[0] = "EXTRA"; }},
        {"modeline timing", [](XF86ConfigPtr t) { xf86monitors(t)[0]->modelines[0].vtotal = 526; }},
        {"modeline flags", [](XF86ConfigPtr t) { xf86monitors(t)[0]->modelines[0].flags |= XF86CONF_DBLSCAN; }},
        {"modeline comment", [](XF86ConfigPtr t) { xf86monitors(t)[0]->modelines[0].comment.reset(); }},
        {"screen depth", [](XF86ConfigPtr t) { xf86screens(t)[0]->defaultdepth = 16; }},
        {"screen monitor", [](XF86ConfigPtr t) { xf86screens(t)[0]->monitor_name = "MON0"; }},
        {"screen comment", [](XF86ConfigPtr t) { xf86screens(t)[0]->set_comment("# other"); }},
        {"display depth", [](XF86ConfigPtr t) { xf86screens(t)[0]->displays[0].depth = 16; }},
        {"display modes", [](XF86ConfigPtr t) { xf86screens(t)[0]->displays[0].modes.push_back("800x600"); }},
        {"display virtual", [](XF86ConfigPtr t) { xf86screens(t)[0]->displays[0].virtual_y = 700; }},
        {"layout position", [](XF86ConfigPtr t) { xf86layouts(t)[0]->adjacencies[0].x = 5; }},
        {"layout number", [](XF86ConfigPtr t) { xf86layouts(t)[0]->adjacencies[0].scrnum = 1; }},
        {"layout inactive", [](XF86ConfigPtr t) { xf86layouts(t)[0]->inactives[0].device_name = "DEV0"; }},
        {"layout input", [](XF86ConfigPtr t) { xf86layouts(t)[0]->inputs[0].options[0] = "SendCoreEvents"; }},
        {"module load", [](XF86ConfigPtr t) { xf86module(t)->loads[0].name = "dri"; }},
        {"module type", [](XF86ConfigPtr t) { xf86module(t)->loads[0].type = XF86_DISABLE_MODULE; }},
        {"module suboption", [](XF86ConfigPtr t) { xf86module(t)->loads[1].options[0].name = "omit dri"; }},
        {"flags option", [](XF86ConfigPtr t) { xf86serverFlags(t)->options[0].value = "20"; }},
        {"generic option", [](XF86ConfigPtr t) { input_section(t).options[0].value = "de"; }},
        {"generic identifier", [](XF86ConfigPtr t) { input_section(t).identifier = "KBD"; }},
    };
    for (const auto& [what, edit] : edits) {
        SCOPED_TRACE(what);
        XF86ConfigHolder tree = parse(text);
        ASSERT_TRUE(tree);
        ASSERT_EQ(xf86writeConfigText(tree.get()), text);
        edit(tree.get());
        EXPECT_NE(write(tree.get()), text);
    }
}
