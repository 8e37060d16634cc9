// The main window under a real X server: construction, layout drawing, the
// mode radios and check boxes editing the tree, the invert button, the show
// handler's reading of the board, the driver and the running server, and the
// identify windows. Each scenario (suite) runs in its own process with a
// server whose emulated driver answers as the scenario says.
#include "central/central_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "config/config.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>

#include "core/globals.h"
#include "windows/window_state.h"
#include "core/paths.h"
#include "shell/support.h"
#include "windows/win_central.h"
#include "windows/windows.h"

using namespace cvx::test;
using namespace cvx::test::central;

namespace {

const char* const kHalWarningStart = "WARNING: The Corvex HAL library (the \"cvx_hal_drv.o\" file) is not detected.";
const char* const kDriverWarningStart =
    "WARNING: The current display driver is not compatible with this version of Corvex Twinscape.";
const char* const kHardwareWarning =
    "WARNING: Your graphics hardware is not compatible with this version of Corvex Twinscape. "
    "Some features are not supported.";

bool starts_with(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// The four picture positions: display 1, its Adjust button, display 2, its
// Adjust button.
struct Picture { Pos d1, a1, d2, a2; bool operator==(const Picture&) const = default; };
std::ostream& operator<<(std::ostream& os, const Picture& p)
{
    return os << "{" << p.d1 << " " << p.a1 << " " << p.d2 << " " << p.a2 << "}";
}

Picture picture()
{
    return {position("buttonResolution1"), position("buttonAdjust1"), position("buttonResolution2"),
            position("buttonAdjust2")};
}

const Picture kOneLeft{{24, 96}, {24, 184}, {216, 96}, {216, 184}};
const Picture kOneRight{{216, 96}, {216, 184}, {24, 96}, {24, 184}};
const Picture kOneAbove{{120, 16}, {120, 104}, {120, 200}, {120, 288}};
const Picture kOneBelow{{120, 200}, {120, 288}, {120, 16}, {120, 104}};

}  // namespace

// ---------------------------------------------------------------- Default: all answers YES

class Default : public CentralTest {};

TEST_F(Default, ConstructionSelectsSingleDisplayAndChangesNothing)
{
    load_tree(single_config());
    const std::string before = tree_text();
    wdgWinCentral = create_winCentral();
    EXPECT_TRUE(is_active("radioOff"));
    for (const char* name : {"radioClone", "radioMultiDisplay", "radioMergedDisplay", "checkXinerama", "checkHwCursor"})
        EXPECT_FALSE(is_active(name)) << name;
    for (const char* name : {"buttonInvert", "buttonResolution1", "buttonResolution2", "buttonAdjust1", "buttonAdjust2",
                             "buttonIdentify", "buttonCentralOk", "buttonCentralCancel", "buttonCentralPreview",
                             "buttonInfo", "radioOff", "radioClone", "radioMultiDisplay", "radioMergedDisplay",
                             "checkXinerama", "checkHwCursor", "statusbar1", "statusbar2", "pixmap1", "pixmap2",
                             "pixPVMultiDisplay", "lblInstructions", "lblPairViewModes"})
        EXPECT_TRUE(is_sensitive(name)) << name;
    EXPECT_EQ(label("lblResInfo"), "Display 1 : --\nDisplay 2 : --");
    EXPECT_EQ(picture(), kOneLeft);
    EXPECT_EQ(tree_text(), before);
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(wdgWinCentral))), "Corvex Twinscape");
}

TEST_F(Default, WindowLaysOutAtTheGivenSizes)
{
    load_tree(single_config());
    open_main_window();
    struct Expect { const char* name; int x, y, w, h; };
    for (const Expect& e : {Expect{"buttonInvert", 144, 144, 48, 40}, {"buttonResolution1", 24, 96, 96, 88},
                            {"buttonAdjust1", 24, 184, 96, 24}, {"buttonIdentify", 424, 224, 120, 32},
                            {"buttonCentralOk", 440, 376, 104, 32}, {"buttonCentralCancel", 312, 376, 104, 32},
                            {"buttonCentralPreview", 424, 264, 120, 32}, {"buttonInfo", 424, 312, 120, 24},
                            {"lblInstructions", 40, 336, 264, 16}, {"radioMergedDisplay", 392, 128, 224, 24},
                            {"checkXinerama", 392, 168, 136, 24}, {"checkHwCursor", 392, 192, 160, 24},
                            {"statusbar1", 8, 8, 323, 316}, {"statusbar2", 344, 32, 275, 136}}) {
        GtkAllocation a;
        gtk_widget_get_allocation(widget(e.name), &a);
        EXPECT_EQ(std::make_tuple(a.x, a.y, a.width, a.height), std::make_tuple(e.x, e.y, e.w, e.h)) << e.name;
    }
    GtkAllocation a;
    gtk_widget_get_allocation(wdgWinCentral, &a);
    EXPECT_EQ(a.width, 634);
    EXPECT_EQ(a.height, 419);
}

TEST_F(Default, DrawLayoutPlacesBothDisplaysForEveryRelation)
{
    load_tree(single_config());
    open_main_window();
    struct Case { int first, where, second; Picture expected; };
    for (const Case& c : {Case{0, 1, 1, kOneRight}, {0, 2, 1, kOneLeft}, {0, 3, 1, kOneAbove}, {0, 4, 1, kOneBelow},
                          {1, 1, 0, kOneLeft}, {1, 2, 0, kOneRight}, {1, 3, 0, kOneBelow}, {1, 4, 0, kOneAbove}}) {
        drawLayout(c.first, c.where, c.second);
        EXPECT_EQ(picture(), c.expected) << c.first << "," << c.where << "," << c.second;
        EXPECT_EQ(position("buttonInvert"), (Pos{144, 144}));
    }
    EXPECT_TRUE(message_boxes().empty());
}

TEST_F(Default, DrawLayoutRefusesBadIndexBeforeBadRelation)
{
    load_tree(single_config());
    open_main_window();
    drawLayout(0, 3, 1);
    struct Case { int first, where, second; const char* title; };
    for (const Case& c : {Case{0, 2, 0, "Corvex Twinscape - Invalid screen index"},
                          {1, 2, 1, "Corvex Twinscape - Invalid screen index"},
                          {2, 2, 3, "Corvex Twinscape - Invalid screen index"},
                          {2, 9, 3, "Corvex Twinscape - Invalid screen index"},
                          {0, 0, 1, "Corvex Twinscape - Invalid CONF_ADJ (where)"},
                          {0, 5, 1, "Corvex Twinscape - Invalid CONF_ADJ (where)"},
                          {1, -1, 0, "Corvex Twinscape - Invalid CONF_ADJ (where)"}}) {
        drawLayout(c.first, c.where, c.second);
        const auto boxes = message_boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.first << "," << c.where << "," << c.second;
        EXPECT_EQ(boxes[0].title, c.title);
        EXPECT_EQ(boxes[0].text, std::string(c.title).find("index") != std::string::npos
                                     ? "drawLayout() received an invalid screen index."
                                     : "drawLayout() received an invalid screen adjacency.");
        EXPECT_EQ(mustExit, 1);
        EXPECT_EQ(picture(), kOneAbove) << "nothing moves";
        close_message_boxes();
    }
}

TEST_F(Default, SingleDisplayFileOpensInSingleModeWithBoardSections)
{
    load_tree(single_config());
    open_main_window();
    EXPECT_TRUE(is_active("radioOff"));
    for (const char* name : {"buttonResolution2", "buttonAdjust2", "buttonInvert"})
        EXPECT_FALSE(is_sensitive(name)) << name;
    for (const char* name : {"radioOff", "radioClone", "radioMultiDisplay", "radioMergedDisplay", "checkXinerama",
                             "checkHwCursor", "buttonIdentify"})
        EXPECT_TRUE(is_sensitive(name)) << name;
    EXPECT_NE(FindScreen(pXF86Config, 0), nullptr) << "confMakeSections made Display 1";
    EXPECT_FALSE(confPairViewIsActive(pXF86Config));
    EXPECT_EQ(where, 0);
    EXPECT_TRUE(message_boxes().empty());
    EXPECT_EQ(bDriverModed, 1);
    EXPECT_EQ(bHalLoaded, 1);
    EXPECT_EQ(label("lblResInfo"), expected_summary_line(0));
}

TEST_F(Default, RadiosEditTheTreeAndKeepTheControlsConsistent)
{
    load_tree(single_config());
    open_main_window();

    click("radioMultiDisplay");
    EXPECT_TRUE(confPairViewIsActive(pXF86Config));
    EXPECT_TRUE(confXineramaIsActive(pXF86Config));
    EXPECT_EQ(tree_layout(), (Layout{0, 2, 1}));
    EXPECT_EQ(where, 2);
    EXPECT_EQ(picture(), kOneLeft);
    EXPECT_TRUE(is_active("checkXinerama"));
    for (const char* name : {"buttonResolution2", "buttonAdjust2", "buttonInvert", "checkXinerama", "checkHwCursor"})
        EXPECT_TRUE(is_sensitive(name)) << name;

    click("radioClone");
    EXPECT_FALSE(confPairViewIsActive(pXF86Config));
    EXPECT_TRUE(confCloneIsActive(pXF86Config));
    EXPECT_TRUE(confXineramaIsActive(pXF86Config));
    EXPECT_TRUE(is_active("checkXinerama"));
    EXPECT_FALSE(is_sensitive("checkXinerama"));
    EXPECT_FALSE(is_sensitive("buttonInvert"));
    EXPECT_TRUE(is_sensitive("buttonResolution2"));
    EXPECT_TRUE(is_sensitive("buttonAdjust2"));
    EXPECT_EQ(picture(), kOneLeft);
    EXPECT_EQ(where, 2) << "clone leaves the relation alone";

    click("radioMergedDisplay");
    EXPECT_FALSE(confCloneIsActive(pXF86Config));
    EXPECT_TRUE(confMergedFBIsActive(pXF86Config));
    EXPECT_FALSE(confXineramaIsActive(pXF86Config));
    EXPECT_FALSE(confHWCursorIsActive(pXF86Config));
    EXPECT_EQ(tree_layout(), (Layout{0, 2, 1}));
    EXPECT_FALSE(is_active("checkXinerama"));
    EXPECT_FALSE(is_sensitive("checkXinerama"));
    EXPECT_FALSE(is_active("checkHwCursor"));
    EXPECT_FALSE(is_sensitive("checkHwCursor"));
    EXPECT_TRUE(is_sensitive("buttonInvert"));

    click("radioOff");
    EXPECT_FALSE(confMergedFBIsActive(pXF86Config));
    EXPECT_FALSE(confPairViewIsActive(pXF86Config));
    EXPECT_FALSE(confCloneIsActive(pXF86Config));
    EXPECT_EQ(where, 0);
    EXPECT_EQ(picture(), kOneLeft);
    for (const char* name : {"buttonResolution2", "buttonAdjust2", "buttonInvert"})
        EXPECT_FALSE(is_sensitive(name)) << name;
    EXPECT_TRUE(is_sensitive("checkXinerama"));
    EXPECT_FALSE(is_active("checkXinerama"));
    EXPECT_TRUE(is_sensitive("checkHwCursor"));
    EXPECT_FALSE(is_active("checkHwCursor")) << "the cursor keeps its state";
    EXPECT_FALSE(confHWCursorIsActive(pXF86Config));
    EXPECT_TRUE(message_boxes().size() <= 1u) << "at most the 640 x 480 notice";
}

TEST_F(Default, CheckBoxesSwitchXineramaAndTheCursor)
{
    load_tree(single_config());
    open_main_window();
    ASSERT_TRUE(confIsModuleActive(pXF86Config, "dri") || !confXineramaIsActive(pXF86Config));
    click("checkXinerama");
    EXPECT_TRUE(confXineramaIsActive(pXF86Config));
    EXPECT_FALSE(confIsModuleActive(pXF86Config, "dri"));
    click("checkXinerama");
    EXPECT_FALSE(confXineramaIsActive(pXF86Config));
    EXPECT_TRUE(confIsModuleActive(pXF86Config, "dri"));

    EXPECT_TRUE(is_active("checkHwCursor"));
    click("checkHwCursor");
    EXPECT_FALSE(confHWCursorIsActive(pXF86Config));
    click("checkHwCursor");
    EXPECT_TRUE(confHWCursorIsActive(pXF86Config));
}

TEST_F(Default, InvertTurnsDisplayOneClockwiseAndFourTurnsReturn)
{
    load_tree(single_config());
    open_main_window();
    click("radioMultiDisplay");
    ASSERT_EQ(where, 2);
    const std::string start = tree_text();
    struct Step { int where; Picture picture; };
    for (const Step& s : {Step{3, kOneAbove}, {1, kOneRight}, {4, kOneBelow}, {2, kOneLeft}}) {
        click("buttonInvert");
        EXPECT_EQ(where, s.where);
        EXPECT_EQ(tree_layout(), (Layout{0, s.where, 1}));
        EXPECT_EQ(picture(), s.picture) << "where " << s.where;
    }
    EXPECT_EQ(tree_text(), start);

    // The same quarter turns move the merged display's second monitor.
    click("radioMergedDisplay");
    click("buttonInvert");
    EXPECT_EQ(where, 3);
    EXPECT_STREQ(xf86findOptionValue(FindScreen(pXF86Config, 2)->options, "Monitor2Position"), "Below");
    EXPECT_EQ(picture(), kOneAbove);
}

TEST_F(Default, StartingConfigurationsSelectTheirModeAndKeepTheirLayout)
{
    struct Case { const char* lines; Layout expected; Picture pic; };
    for (const Case& c : {
             Case{"    Screen \"Display 1\" RightOf \"Display 2\"\n    Screen \"Display 2\"\n", {0, 1, 1}, kOneRight},
             Case{"    Screen \"Display 1\" LeftOf \"Display 2\"\n    Screen \"Display 2\"\n", {0, 2, 1}, kOneLeft},
             Case{"    Screen \"Display 1\" Above \"Display 2\"\n    Screen \"Display 2\"\n", {0, 3, 1}, kOneAbove},
             Case{"    Screen \"Display 1\" Below \"Display 2\"\n    Screen \"Display 2\"\n", {0, 4, 1}, kOneBelow},
             // The common form: the second screen carries the relation.
             Case{"    Screen 0 \"Display 1\" 0 0\n    Screen 1 \"Display 2\" RightOf \"Display 1\"\n", {0, 2, 1},
                  kOneLeft},
             Case{"    Screen 0 \"Display 1\" 0 0\n    Screen 1 \"Display 2\" Below \"Display 1\"\n", {0, 3, 1},
                  kOneAbove},
         }) {
        SCOPED_TRACE(c.lines);
        where = 0;
        load_tree(pairview_config(c.lines));
        open_main_window();
        EXPECT_TRUE(is_active("radioMultiDisplay"));
        EXPECT_TRUE(is_active("checkXinerama"));
        EXPECT_TRUE(is_sensitive("buttonInvert"));
        EXPECT_TRUE(is_sensitive("buttonResolution2"));
        EXPECT_TRUE(confPairViewIsActive(pXF86Config));
        EXPECT_EQ(tree_layout(), c.expected);
        EXPECT_EQ(where, c.expected.where);
        EXPECT_EQ(picture(), c.pic);
        EXPECT_FALSE(confIsModuleActive(pXF86Config, "dri"));
        gtk_widget_destroy(wdgWinCentral);
        close_message_boxes();
    }
}

TEST_F(Default, CloneFileOpensWithCloneSelected)
{
    load_tree(pairview_config("    Screen \"Display 1\"\n    Screen \"Display 2\"\n"));
    open_main_window();
    EXPECT_TRUE(is_active("radioClone"));
    EXPECT_FALSE(is_sensitive("buttonInvert"));
    EXPECT_TRUE(is_active("checkXinerama"));
    EXPECT_FALSE(is_sensitive("checkXinerama"));
    EXPECT_TRUE(is_sensitive("buttonResolution2"));
    EXPECT_TRUE(confCloneIsActive(pXF86Config));
    EXPECT_EQ(picture(), kOneLeft);
}

TEST_F(Default, MergedFileOpensWithMergedSelectedAndItsPosition)
{
    struct Case { const char* option; int where; Picture pic; const char* written; };
    for (const Case& c : {Case{"    Option \"Monitor2Position\" \"Below\"\n", 3, kOneAbove, "Below"},
                          Case{"    Option \"Monitor2Position\" \"LeftOf\"\n", 1, kOneRight, "LeftOf"},
                          Case{"    Option \"Monitor2Position\" \"RightOf\"\n", 2, kOneLeft, "RightOf"}}) {
        SCOPED_TRACE(c.option);
        where = 0;
        load_tree(merged_config(c.option));
        open_main_window();
        EXPECT_TRUE(is_active("radioMergedDisplay"));
        EXPECT_TRUE(is_sensitive("radioMergedDisplay"));
        EXPECT_FALSE(is_sensitive("checkXinerama"));
        EXPECT_FALSE(is_sensitive("checkHwCursor"));
        EXPECT_TRUE(confMergedFBIsActive(pXF86Config));
        EXPECT_EQ(where, c.where);
        EXPECT_EQ(picture(), c.pic);
        EXPECT_STREQ(xf86findOptionValue(FindScreen(pXF86Config, 2)->options, "Monitor2Position"), c.written);
        gtk_widget_destroy(wdgWinCentral);
        close_message_boxes();
    }
}

TEST_F(Default, BoardClassesDecideWhatIsOffered)
{
    struct Case { uint32_t id, revision; bool merged, dual, warning; };
    for (const Case& c : {Case{0x0525, 0x80, true, true, false}, Case{0x0525, 0xff, true, true, false},
                          Case{0x0525, 0x7f, false, true, false}, Case{0x2527, 0x00, true, true, false},
                          Case{0x0520, 0x80, false, false, false}, Case{0x1000, 0, false, false, false},
                          Case{0x1001, 0, false, false, false}, Case{0x0521, 0, false, false, false},
                          Case{0x102b, 0x80, false, false, true}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.id << " rev " << c.revision);
        use_board(c.id, c.revision);
        load_tree(single_config());
        open_main_window();
        EXPECT_EQ(is_sensitive("radioMergedDisplay"), c.merged);
        for (const char* name : {"radioOff", "radioClone", "radioMultiDisplay", "checkXinerama"})
            EXPECT_EQ(is_sensitive(name), c.dual) << name;
        const auto boxes = message_boxes();
        if (c.warning) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].title, "Corvex Twinscape");
            EXPECT_EQ(boxes[0].text, kHardwareWarning);
            EXPECT_EQ(bDriverModed, 0);
        } else {
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(bDriverModed, 1);
        }
        if (!c.dual) {
            EXPECT_FALSE(is_sensitive("buttonResolution2"));
            EXPECT_FALSE(is_sensitive("buttonAdjust2"));
            EXPECT_FALSE(is_sensitive("buttonInvert"));
        }
        gtk_widget_destroy(wdgWinCentral);
        close_message_boxes();
    }
}

TEST_F(Default, AdjustOfDisplayTwoIsRefusedForAFileThatHadOneDisplay)
{
    load_tree(single_config());
    wasSingleHeadAtStartup = 1;
    open_main_window();
    click("radioMultiDisplay");
    close_message_boxes();
    click("buttonAdjust2");
    const auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "The secondary display of your PairView hardware isn't currently active.\n\n"
              "To change settings for this secondary display, you need to first restart your operating system.");
    EXPECT_EQ(wdgWinAdjust, nullptr);
}

TEST_F(Default, IdentifyShowsOneNumberOnTheScreenForThreeSeconds)
{
    load_tree(single_config());
    open_main_window();
    click("buttonIdentify");
    ASSERT_NE(wdgWinIdentify[0], nullptr);
    EXPECT_EQ(wdgWinIdentify[1], nullptr);
    EXPECT_FALSE(is_sensitive("buttonIdentify"));
    GtkWidget* win = wdgWinIdentify[0];
    ASSERT_TRUE(wait_until([win] { return gtk_widget_get_mapped(win); }));
    EXPECT_TRUE(gtk_widget_get_visible(lookup_widget(win, "pixS1")));
    EXPECT_FALSE(gtk_widget_get_visible(lookup_widget(win, "pixS2")));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(win)), GTK_WINDOW(wdgWinCentral));
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(win), &x, &y);
    EXPECT_EQ(x, DisplayWidth(pDisp, 0) / 2 - 335 / 2);
    EXPECT_EQ(y, DisplayHeight(pDisp, 0) / 2 - 351 / 2);
    screenshot(display_name(), "central-identify-single");
    ASSERT_TRUE(wait_until([] { return wdgWinIdentify[0] == nullptr; }, 10000));
    EXPECT_TRUE(is_sensitive("buttonIdentify"));
}

TEST_F(Default, IdentifyTimerAfterTheMainWindowIsGoneOnlyClosesTheWindows)
{
    load_tree(single_config());
    open_main_window();
    click("buttonIdentify");
    ASSERT_NE(wdgWinIdentify[0], nullptr);
    gtk_widget_destroy(wdgWinCentral);
    EXPECT_EQ(wdgWinCentral, nullptr);
    ASSERT_TRUE(wait_until([] { return wdgWinIdentify[0] == nullptr; }, 10000));
}

TEST_F(Default, DisplayAndInformationButtonsOpenTheirWindowsForTheRightDisplay)
{
    load_tree(single_config());
    open_main_window();
    click("radioMultiDisplay");
    close_message_boxes();

    struct Case { const char* button; GtkWidget** window; int screen; };
    for (const Case& c : {Case{"buttonResolution1", &wdgWinResolutions, 0}, {"buttonResolution2", &wdgWinResolutions, 1},
                          {"buttonAdjust1", &wdgWinAdjust, 0}, {"buttonAdjust2", &wdgWinAdjust, 1},
                          {"buttonInfo", &wdgWinInfo, -1}}) {
        SCOPED_TRACE(c.button);
        CurrentScreen = 7;
        click(c.button);
        ASSERT_NE(*c.window, nullptr);
        EXPECT_TRUE(gtk_widget_get_visible(*c.window));
        if (c.screen >= 0) {
            EXPECT_EQ(CurrentScreen, c.screen);
        }
        gtk_widget_destroy(*c.window);
        *c.window = nullptr;
        close_message_boxes();
        pump_events();
    }

    GtkWidget* preview_button = widget("buttonCentralPreview");
    click("buttonCentralPreview");
    ASSERT_NE(wdgWinPreview, nullptr);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(preview_button)), "Refresh Preview");
    GtkWidget* preview = wdgWinPreview;
    click("buttonCentralPreview");
    EXPECT_EQ(wdgWinPreview, preview) << "a second click refreshes the open preview";
    gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinPreview, "buttonPreviewClose")));
    pump_events();
    EXPECT_EQ(wdgWinPreview, nullptr);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(preview_button)), "Preview Config. File");
}

TEST_F(Default, SaveAndExitWritesTheTreeKeepsABackupAndEndsThroughTheBox)
{
    const std::string original = single_config();
    const std::string file = cvx::paths::under_root("/etc/X11/central-save.conf");
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << original;
    open_file(file);
    open_main_window();
    click("radioMultiDisplay");
    close_message_boxes();

    click("buttonCentralOk");
    const auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Changes have been saved to your configuration file. The previous file has been backed up.\n\n"
              "For changes to take effect, you must restart your X server.");
    EXPECT_EQ(mustExit, 1);
    EXPECT_EQ(pXF86Config, nullptr);
    EXPECT_EQ(wdgWinCentral, nullptr);
    std::ifstream backup(sConfigBackup, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(backup), {}), original);
    std::ifstream written(file, std::ios::binary);
    load_tree(std::string(std::istreambuf_iterator<char>(written), {}));
    EXPECT_TRUE(confPairViewIsActive(pXF86Config));
}

TEST_F(Default, SaveAndExitRefusesAFileChangedSinceOpening)
{
    const std::string file = cvx::paths::under_root("/etc/X11/central-changed.conf");
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::filesystem::remove(file + "_CVX-BACKUP");
    std::ofstream(file, std::ios::binary) << single_config();
    open_file(file);
    open_main_window();
    click("radioMultiDisplay");
    close_message_boxes();
    const std::string elsewhere = single_config() + "# edited by another program\n";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << elsewhere;

    click("buttonCentralOk");
    const auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Corvex Twinscape");
    EXPECT_EQ(boxes[0].text,
              "ERROR: The configuration file has been changed by another program since it was opened. "
              "Settings haven't been changed.");
    EXPECT_EQ(mustExit, 1);
    EXPECT_EQ(pXF86Config, nullptr);
    EXPECT_EQ(wdgWinCentral, nullptr);
    std::ifstream now(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}), elsewhere);
    EXPECT_FALSE(std::filesystem::exists(sConfigBackup));
}

TEST_F(Default, SaveAndExitReportsAFailedSaveAndStillEnds)
{
    const std::string file = cvx::paths::under_root("/no/such/dir/XF86Config");
    std::snprintf(sConfigFile, sizeof sConfigFile, "%s", file.c_str());
    std::snprintf(sConfigBackup, sizeof sConfigBackup, "%s_CVX-BACKUP", file.c_str());
    load_tree(single_config());
    open_main_window();
    click("buttonCentralOk");
    const auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(starts_with(boxes[0].text, "ERROR: ")) << boxes[0].text;
    EXPECT_EQ(mustExit, 1);
    EXPECT_FALSE(std::filesystem::exists(sConfigFile));
    EXPECT_EQ(wdgWinCentral, nullptr);
}

TEST_F(Default, ScreenshotsOfEveryModeAndLayout)
{
    load_tree(single_config());
    open_main_window();
    screenshot(display_name(), "central-mode-single");
    click("radioMultiDisplay");
    close_message_boxes();
    screenshot(display_name(), "central-mode-multi-leftof");
    for (const char* name : {"central-layout-above", "central-layout-rightof", "central-layout-below"}) {
        click("buttonInvert");
        screenshot(display_name(), name);
    }
    click("buttonInvert");
    click("radioClone");
    screenshot(display_name(), "central-mode-clone");
    click("radioMergedDisplay");
    screenshot(display_name(), "central-mode-merged");
    EXPECT_TRUE(confMergedFBIsActive(pXF86Config));
}

// ---------------------------------------------------------------- Xinerama: two heads

class Xinerama : public CentralTest {};

TEST_F(Xinerama, SummaryHasBothDisplays)
{
    load_tree(pairview_config("    Screen \"Display 1\" LeftOf \"Display 2\"\n    Screen \"Display 2\"\n"));
    open_main_window();
    EXPECT_EQ(label("lblResInfo"), expected_summary_line(0) + "\n" + expected_summary_line(1));
    EXPECT_EQ(bInMergedMode, 0);
    screenshot(display_name(), "central-xinerama-multi");
}

TEST_F(Xinerama, IdentifyShowsEachNumberOnItsHead)
{
    load_tree(pairview_config("    Screen \"Display 1\" LeftOf \"Display 2\"\n    Screen \"Display 2\"\n"));
    open_main_window();
    int count = 0;
    XineramaScreenInfo* heads = XineramaQueryScreens(pDisp, &count);
    ASSERT_EQ(count, 2);
    click("buttonIdentify");
    EXPECT_FALSE(is_sensitive("buttonIdentify"));
    for (int i = 0; i < 2; ++i) {
        GtkWidget* win = wdgWinIdentify[i];
        ASSERT_NE(win, nullptr) << i;
        ASSERT_TRUE(wait_until([win] { return gtk_widget_get_mapped(win); }));
        EXPECT_EQ(gtk_widget_get_visible(lookup_widget(win, "pixS1")), i == 0);
        EXPECT_EQ(gtk_widget_get_visible(lookup_widget(win, "pixS2")), i == 1);
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(win), &x, &y);
        EXPECT_EQ(x, heads[i].x_org + heads[i].width / 2 - 335 / 2) << i;
        EXPECT_EQ(y, heads[i].y_org + heads[i].height / 2 - 351 / 2) << i;
    }
    XFree(heads);
    screenshot(display_name(), "central-identify-xinerama");
    ASSERT_TRUE(wait_until([] { return !wdgWinIdentify[0] && !wdgWinIdentify[1]; }, 10000));
    EXPECT_TRUE(is_sensitive("buttonIdentify"));
}

// ---------------------------------------------------------------- driver answers

class NoDriver : public CentralTest {};

TEST_F(NoDriver, DriverWarningAndMergedOnlyWithTheHalFile)
{
    for (bool hal_file : {false, true}) {
        SCOPED_TRACE(hal_file ? "HAL module file present" : "no HAL module file");
        set_hal_module_present(hal_file);
        load_tree(single_config());
        open_main_window();
        const auto boxes = message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(starts_with(boxes[0].text, kDriverWarningStart)) << boxes[0].text;
        EXPECT_EQ(bDriverModed, 0);
        EXPECT_EQ(bHalLoaded, 0);
        EXPECT_EQ(is_sensitive("radioMergedDisplay"), hal_file);
        EXPECT_TRUE(is_sensitive("radioMultiDisplay"));
        screenshot(display_name(), hal_file ? "central-nodriver-halfile" : "central-nodriver");
        gtk_widget_destroy(wdgWinCentral);
        close_message_boxes();
    }
}

class NoHal : public CentralTest {};

TEST_F(NoHal, HalWarningOnly)
{
    for (bool hal_file : {false, true}) {
        SCOPED_TRACE(hal_file ? "HAL module file present" : "no HAL module file");
        set_hal_module_present(hal_file);
        load_tree(single_config());
        open_main_window();
        const auto boxes = message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(starts_with(boxes[0].text, kHalWarningStart)) << boxes[0].text;
        EXPECT_EQ(bDriverModed, 1);
        EXPECT_EQ(bHalLoaded, 0);
        EXPECT_EQ(is_sensitive("radioMergedDisplay"), hal_file);
        gtk_widget_destroy(wdgWinCentral);
        close_message_boxes();
    }
}

class NoMerged : public CentralTest {};

TEST_F(NoMerged, DriverWarningAndNoMergedChoice)
{
    load_tree(single_config());
    open_main_window();
    const auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(starts_with(boxes[0].text, kDriverWarningStart)) << boxes[0].text;
    EXPECT_EQ(bDriverModed, 1);
    EXPECT_EQ(bHalLoaded, 1);
    EXPECT_FALSE(is_sensitive("radioMergedDisplay"));
}

class NoHalNoMerged : public CentralTest {};

TEST_F(NoHalNoMerged, OnlyTheHalWarning)
{
    load_tree(single_config());
    open_main_window();
    const auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(starts_with(boxes[0].text, kHalWarningStart)) << boxes[0].text;
    EXPECT_FALSE(is_sensitive("radioMergedDisplay"));
}

// ---------------------------------------------------------------- a merged framebuffer running

class DotClockZero : public CentralTest {};

TEST_F(DotClockZero, ServerIsTakenAsMerged)
{
    load_tree(merged_config("    Option \"Monitor2Position\" \"RightOf\"\n"));
    open_main_window();
    EXPECT_EQ(bInMergedMode, 1);
    EXPECT_EQ(bDriverModed, 0);
    EXPECT_EQ(label("lblResInfo"), "Merged Display Mode Enabled.");
    EXPECT_FALSE(is_sensitive("buttonIdentify"));
    EXPECT_TRUE(message_boxes().empty());
    screenshot(display_name(), "central-running-merged");
    for (const char* button : {"buttonAdjust1", "buttonAdjust2"}) {
        click(button);
        const auto boxes = message_boxes();
        ASSERT_EQ(boxes.size(), 1u) << button;
        EXPECT_EQ(boxes[0].text, "This feature is not available while in Merged Display Mode.");
        EXPECT_EQ(wdgWinAdjust, nullptr);
        close_message_boxes();
    }
}

class XineramaDotClockZero : public CentralTest {};

TEST_F(XineramaDotClockZero, SummarySaysAdjustmentIsOff)
{
    load_tree(merged_config("    Option \"Monitor2Position\" \"RightOf\"\n"));
    open_main_window();
    EXPECT_EQ(bInMergedMode, 1);
    EXPECT_EQ(label("lblResInfo"), "Merged Display Mode active.\nDynamic screen adjustment disabled.");
    EXPECT_FALSE(is_sensitive("buttonIdentify"));
}

int main(int argc, char** argv)
{
    return run_scenarios(argc, argv,
                         {
                             {"Default", "one", true, {}},
                             {"Xinerama", "xinerama", true, {}},
                             {"NoDriver", "one", false, {}},
                             {"NoHal", "one", true, {{"CVX_EMU_HAL", "NO"}}},
                             {"NoMerged", "one", true, {{"CVX_EMU_MERGED", "NO"}}},
                             {"NoHalNoMerged", "one", true, {{"CVX_EMU_HAL", "NO"}, {"CVX_EMU_MERGED", "NO"}}},
                             {"DotClockZero", "one", true, {{"CVX_EMU_DOTCLOCK0", "1"}}},
                             {"XineramaDotClockZero", "xinerama", true, {{"CVX_EMU_DOTCLOCK0", "1"}}},
                         });
}
