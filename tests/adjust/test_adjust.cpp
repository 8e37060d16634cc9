// The monitor settings window and the save dialog against a real X server
// with the board driver's emulator (two heads under Xinerama): what each
// button sends, what the server then reports and what the window shows.
#include "adjust/adjust_fixture.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#ifdef CVX_HAVE_XTEST
#include "config/config.h"

#include <X11/extensions/XTest.h>
#endif

#include "core/globals.h"
#include "driver/running.h"
#include "windows/window_state.h"
#include "shell/support.h"
#include "windows/win_adjust.h"
#include "windows/win_resolutions.h"
#include "windows/windows.h"

using namespace cvx::test::adjust;
using cvx::test::pump_events;

namespace {

std::string params_of(const XF86VidModeModeLine& m)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "Monitor settings:\n\nHorizontal resolution: %d\nHorizontal sync start: %d\n"
                  "Horizontal sync end: %d\nHorizontal total: %d\n\nVertical resolution: %d\n"
                  "Vertical sync start: %d\nVertical sync end: %d\nVertical total: %d\n",
                  m.hdisplay, m.hsyncstart, m.hsyncend, m.htotal, m.vdisplay, m.vsyncstart, m.vsyncend,
                  m.vtotal);
    return text;
}

std::string mhz(int khz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%1.3f", static_cast<double>(static_cast<float>(khz) / 1000.0f));
    return text;
}

bool same_timings(const XF86VidModeModeLine& a, const XF86VidModeModeLine& b)
{
    return a.hdisplay == b.hdisplay && a.hsyncstart == b.hsyncstart && a.hsyncend == b.hsyncend &&
           a.htotal == b.htotal && a.vdisplay == b.vdisplay && a.vsyncstart == b.vsyncstart &&
           a.vsyncend == b.vsyncend && a.vtotal == b.vtotal;
}

// The window shows exactly what the server reports for its screen.
void expect_window_shows(int screen)
{
    ServerMode now = server_mode(screen);
    EXPECT_EQ(text_view_text(wdgWinAdjust, "txtParams"), params_of(now.line));
    EXPECT_EQ(label_text(wdgWinAdjust, "lblPixelClockValue"), mhz(now.clock));
    GtkWidget* spin = lookup_widget(wdgWinAdjust, "sbuttonRefresh");
    EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(spin)),
              confRefreshRate(now.clock, now.line.htotal, now.line.vtotal));
}

const XF86ConfModeLineRec* last_modeline(int display)
{
    const auto* lines = confGetUserModeLines(pXF86Config, display);
    return lines && !lines->empty() ? &lines->back() : nullptr;
}

std::string expected_name(const ServerMode& m, int display)
{
    char text[64];
    std::snprintf(text, sizeof text, "%dx%d@%dHz:%d", m.line.hdisplay, m.line.vdisplay,
                  confRefreshRate(m.clock, m.line.htotal, m.line.vtotal), display);
    return text;
}

}  // namespace

TEST(ResolutionSummary, OneOrTwoLinesWithTheFirstScreensDepth)
{
    XF86VidModeModeLine a{}, b{};
    a.hdisplay = 1024, a.vdisplay = 768, a.htotal = 1344, a.vtotal = 806;
    b.hdisplay = 1280, b.vdisplay = 1024, b.htotal = 1688, b.vtotal = 1066;
    EXPECT_EQ(cvx::running::mode_summary(1, a, 65000, b, 108000, 24), "Display 1: 1024 x 768, 24-bit, 60 Hz");
    EXPECT_EQ(cvx::running::mode_summary(2, a, 65000, b, 108000, 16),
              "Display 1: 1024 x 768, 16-bit, 60 Hz\nDisplay 2: 1280 x 1024, 16-bit, 60 Hz");
}

TEST_F(AdjustTest, OpeningShowsTheServersModeAndTheSummaryOfBothHeads)
{
    open_adjust(0);
    ASSERT_EQ(wdgWinAdjust != nullptr, true);
    expect_window_shows(0);
    EXPECT_EQ(wdgWinMsgbox, nullptr) << "no warning with driver and HAL";

    ServerMode one = server_mode(0), two = server_mode(1);
    const int depth = DefaultDepth(world().probe, 0);
    char expected[256];
    std::snprintf(expected, sizeof expected, "Display 1: %d x %d, %d-bit, %d Hz\nDisplay 2: %d x %d, %d-bit, %d Hz",
                  one.line.hdisplay, one.line.vdisplay, depth,
                  confRefreshRate(one.clock, one.line.htotal, one.line.vtotal), two.line.hdisplay,
                  two.line.vdisplay, depth, confRefreshRate(two.clock, two.line.htotal, two.line.vtotal));
    EXPECT_EQ(label_text(main_window, "lblResInfo"), expected);

    // The spin button's range is the monitor's vertical range (50-100 Hz).
    GtkWidget* spin = lookup_widget(wdgWinAdjust, "sbuttonRefresh");
    double lower = 0, upper = 0;
    gtk_spin_button_get_range(GTK_SPIN_BUTTON(spin), &lower, &upper);
    EXPECT_EQ(lower, 50);
    EXPECT_EQ(upper, 100);
    cvx::test::screenshot(world().server->display(), "adjust-window");
}

TEST_F(AdjustTest, WithoutDriverOrHalTheWindowWarns)
{
    for (auto [driver, hal] : {std::pair{false, false}, std::pair{true, false}}) {
        open_adjust(0, driver, hal);
        ASSERT_NE(wdgWinMsgbox, nullptr);
        EXPECT_EQ(label_text(wdgWinMsgbox, "lblMsgBox"), "WARNING: Changes made are not supported.");
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(wdgWinMsgbox)), "Corvex Twinscape");
        EXPECT_FALSE(mustExit);
        gtk_widget_destroy(wdgWinMsgbox);
        gtk_widget_destroy(wdgWinAdjust);
        pump_events();
    }
}

struct ButtonCase {
    const char* button;
    const char* command;
    // What the emulator does for one step, as the server then reports it.
    int dhsyncstart, dhsyncend, dhtotal, dvsyncstart, dvsyncend, dvtotal;
};

TEST_F(AdjustTest, EachButtonSendsItsCommandAndTheShownValuesFollow)
{
    const ButtonCase cases[] = {
        {"buttonLeft", "left 1", 8, 8, 0, 0, 0, 0},      {"buttonRight", "right 1", -8, -8, 0, 0, 0, 0},
        {"buttonUp", "up 1", 0, 0, 0, 1, 1, 0},          {"buttonDown", "down 1", 0, 0, 0, -1, -1, 0},
        {"buttonWider", "h+ 1", 0, 0, -8, 0, 0, 0},      {"buttonNarrower", "h- 1", 0, 0, 8, 0, 0, 0},
        {"buttonTaller", "v+ 1", 0, 0, 0, 0, 0, -1},     {"buttonShorter", "v- 1", 0, 0, 0, 0, 0, 1},
    };
    GtkWidget* win = open_adjust(0);
    for (const ButtonCase& c : cases) {
        SCOPED_TRACE(c.button);
        bDidChange = 0;
        ServerMode before = server_mode(0);
        plant_command_sentinel();
        click(c.button);
        EXPECT_EQ(command_file(), c.command);
        EXPECT_TRUE(bDidChange);
        EXPECT_EQ(bells_heard(), 0);
        ServerMode after = server_mode(0);
        EXPECT_EQ(after.line.hsyncstart - before.line.hsyncstart, c.dhsyncstart);
        EXPECT_EQ(after.line.hsyncend - before.line.hsyncend, c.dhsyncend);
        EXPECT_EQ(after.line.htotal - before.line.htotal, c.dhtotal);
        EXPECT_EQ(after.line.vsyncstart - before.line.vsyncstart, c.dvsyncstart);
        EXPECT_EQ(after.line.vsyncend - before.line.vsyncend, c.dvsyncend);
        EXPECT_EQ(after.line.vtotal - before.line.vtotal, c.dvtotal);
        expect_window_shows(0);
        // No marker left in the mode line the window keeps for the save dialog.
        EXPECT_EQ(mode_line.flags & 0x80000000u, 0u);

        // Esc takes the step back.
        EXPECT_TRUE(send_key(win, GDK_KEY_Escape));
        EXPECT_EQ(command_file(), "undo");
        EXPECT_FALSE(bDidChange);
        EXPECT_TRUE(same_timings(server_mode(0).line, before.line));
        expect_window_shows(0);
    }
}

TEST_F(AdjustTest, ARefusedStepRingsTheBellAndSendsNothing)
{
    open_adjust(0);
    // Left until the room between sync end and total is gone.
    for (int i = 0; i < 200; ++i) {
        ServerMode m = server_mode(0);
        if (m.line.hsyncend + 8 >= m.line.htotal)
            break;
        click("buttonLeft");
    }
    ServerMode edge = server_mode(0);
    ASSERT_GE(edge.line.hsyncend + 8, edge.line.htotal);
    bells_heard();
    for (const char* button : {"buttonLeft", "buttonWider"}) {
        SCOPED_TRACE(button);
        bDidChange = 0;
        plant_command_sentinel();
        click(button);
        EXPECT_EQ(command_file(), kSentinel);
        EXPECT_EQ(bells_heard(), 1);
        EXPECT_TRUE(same_timings(server_mode(0).line, edge.line));
        EXPECT_TRUE(bDidChange) << "set even when the step was refused";
        expect_window_shows(0);
    }
    // Put the screen back for the tests that follow.
    GtkWidget* win = wdgWinAdjust;
    for (int i = 0; i < 200; ++i) {
        ServerMode before = server_mode(0);
        send_key(win, GDK_KEY_Escape);
        if (same_timings(server_mode(0).line, before.line))
            break;
    }
}

TEST_F(AdjustTest, WithoutHalTheButtonsChangeNothingSilently)
{
    GtkWidget* win = open_adjust(0, true, false);
    ASSERT_NE(wdgWinMsgbox, nullptr);
    gtk_widget_destroy(wdgWinMsgbox);
    pump_events();
    ServerMode before = server_mode(0);
    plant_command_sentinel();
    for (const char* b : {"buttonLeft", "buttonRight", "buttonUp", "buttonDown", "buttonWider", "buttonNarrower",
                          "buttonTaller", "buttonShorter"})
        click(b);
    press_apply();
    EXPECT_EQ(command_file(), kSentinel);
    EXPECT_EQ(bells_heard(), 0);
    EXPECT_FALSE(bDidChange);
    EXPECT_TRUE(same_timings(server_mode(0).line, before.line));
    expect_window_shows(0);

    // Esc sends "undo" all the same.
    EXPECT_TRUE(send_key(win, GDK_KEY_Escape));
    EXPECT_EQ(command_file(), "undo");
    // Other keys are passed on to the window's own handling.
    plant_command_sentinel();
    GdkEventKey key{};
    key.type = GDK_KEY_PRESS;
    key.keyval = GDK_KEY_a;
    EXPECT_FALSE(on_winAdjust_key_press_event(win, &key, nullptr));
    key.keyval = GDK_KEY_Return;
    EXPECT_FALSE(on_winAdjust_key_press_event(win, &key, nullptr));
    EXPECT_EQ(command_file(), kSentinel);
}

TEST_F(AdjustTest, ApplySendsTheSpinButtonsRateOnPress)
{
    GtkWidget* win = open_adjust(0);
    ServerMode before = server_mode(0);
    const int rate = confRefreshRate(before.clock, before.line.htotal, before.line.vtotal);
    const int wanted = rate > 55 ? rate - 5 : rate + 5;
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(lookup_widget(win, "sbuttonRefresh")), wanted);
    press_apply();
    EXPECT_EQ(command_file(), "refresh " + std::to_string(wanted));
    EXPECT_TRUE(bDidChange);
    ServerMode after = server_mode(0);
    EXPECT_EQ(confRefreshRate(after.clock, after.line.htotal, after.line.vtotal), wanted);
    EXPECT_NE(after.clock, before.clock);
    expect_window_shows(0);

    EXPECT_TRUE(send_key(win, GDK_KEY_Escape));
    EXPECT_EQ(server_mode(0).clock, before.clock);
    expect_window_shows(0);
}

#ifdef CVX_HAVE_XTEST
TEST_F(AdjustTest, ApplyActsWhileTheMouseButtonIsStillDown)
{
    GtkWidget* win = open_adjust(0);
    GtkWidget* apply = lookup_widget(win, "buttonApply");
    GtkAllocation a;
    gtk_widget_get_allocation(apply, &a);
    int ox = 0, oy = 0, wx = 0, wy = 0;
    gdk_window_get_origin(gtk_widget_get_window(win), &ox, &oy);
    gtk_widget_translate_coordinates(apply, win, 0, 0, &wx, &wy);
    Display* d = world().probe;
    XTestFakeMotionEvent(d, -1, ox + wx + a.width / 2, oy + wy + a.height / 2, CurrentTime);
    XSync(d, False);
    pump_events();
    plant_command_sentinel();
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
    EXPECT_TRUE(cvx::test::wait_until([] { return command_file() != kSentinel; }, 3000));
    ServerMode now = server_mode(0);
    EXPECT_EQ(command_file(),
              "refresh " + std::to_string(confRefreshRate(now.clock, now.line.htotal, now.line.vtotal)));
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
    pump_events();
    send_key(win, GDK_KEY_Escape);
}
#endif

TEST_F(AdjustTest, EscWithNothingChangedStillSendsUndo)
{
    GtkWidget* win = open_adjust(0);
    ServerMode before = server_mode(0);
    plant_command_sentinel();
    EXPECT_TRUE(send_key(win, GDK_KEY_Escape));
    EXPECT_EQ(command_file(), "undo");
    EXPECT_FALSE(bDidChange);
    EXPECT_TRUE(same_timings(server_mode(0).line, before.line));
}

TEST_F(AdjustTest, PrevAndNextWithoutPendingChangeSwitchAtOnce)
{
    // With the HAL: "undo" first, then the switch.
    open_adjust(0);
    ServerMode start = server_mode(0);
    plant_command_sentinel();
    click("buttonNext");
    EXPECT_EQ(wdgWinSave, nullptr);
    EXPECT_EQ(command_file(), "undo");
    ServerMode next = server_mode(0);
    EXPECT_FALSE(same_timings(next.line, start.line));
    expect_window_shows(0);
    click("buttonPrev");
    EXPECT_TRUE(same_timings(server_mode(0).line, start.line));
    expect_window_shows(0);
    gtk_widget_destroy(wdgWinAdjust);
    pump_events();

    // Without the HAL: the switch alone.
    open_adjust(0, true, false);
    gtk_widget_destroy(wdgWinMsgbox);
    pump_events();
    plant_command_sentinel();
    click("buttonPrev");
    EXPECT_EQ(command_file(), kSentinel);
    EXPECT_FALSE(same_timings(server_mode(0).line, start.line));
    expect_window_shows(0);
    click("buttonNext");
    EXPECT_TRUE(same_timings(server_mode(0).line, start.line));
}

TEST_F(AdjustTest, YesAfterNextStoresTheAdjustedModeThenSwitches)
{
    open_adjust(0);
    click("buttonUp");
    ServerMode adjusted = server_mode(0);
    ASSERT_TRUE(bDidChange);
    click("buttonNext");
    ASSERT_NE(wdgWinSave, nullptr);
    EXPECT_EQ(modeChange, 1);
    EXPECT_TRUE(same_timings(server_mode(0).line, adjusted.line)) << "nothing switches before the answer";
    EXPECT_EQ(label_text(wdgWinSave, "lblSave"),
              "A custom display mode is about to be created. To enable this mode you must select it from the "
              "Display Modes dialogue box.\n\nSave Changes for this display?\n");
    cvx::test::screenshot(world().server->display(), "save-dialog-after-next");

    gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveYes")));
    pump_events();
    EXPECT_EQ(wdgWinSave, nullptr);
    ASSERT_NE(wdgWinAdjust, nullptr) << "the window stays open after a switch";
    EXPECT_FALSE(bDidChange);
    EXPECT_EQ(modeChange, 0);

    const XF86ConfModeLineRec* stored = last_modeline(0);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->identifier, expected_name(adjusted, 0));
    EXPECT_EQ(stored->clock, adjusted.clock);
    EXPECT_EQ(stored->hdisplay, adjusted.line.hdisplay);
    EXPECT_EQ(stored->hsyncstart, adjusted.line.hsyncstart);
    EXPECT_EQ(stored->hsyncend, adjusted.line.hsyncend);
    EXPECT_EQ(stored->htotal, adjusted.line.htotal);
    EXPECT_EQ(stored->vdisplay, adjusted.line.vdisplay);
    EXPECT_EQ(stored->vsyncstart, adjusted.line.vsyncstart);
    EXPECT_EQ(stored->vsyncend, adjusted.line.vsyncend);
    EXPECT_EQ(stored->vtotal, adjusted.line.vtotal);
    EXPECT_EQ(static_cast<unsigned>(stored->flags), adjusted.line.flags & ~0x80000000u);
    EXPECT_EQ(stored->vscan, 0);

    ServerMode now = server_mode(0);
    EXPECT_NE(now.line.hdisplay * 10000 + now.line.vdisplay, adjusted.line.hdisplay * 10000 + adjusted.line.vdisplay);
    expect_window_shows(0);

    // Back to the first mode, and its adjustment undone, for the tests after.
    click("buttonPrev");
    send_key(wdgWinAdjust, GDK_KEY_Escape);
}

TEST_F(AdjustTest, NoAfterPrevUndoesThenSwitches)
{
    open_adjust(0);
    ServerMode start = server_mode(0);
    click("buttonLeft");
    ASSERT_FALSE(same_timings(server_mode(0).line, start.line));
    click("buttonPrev");
    ASSERT_NE(wdgWinSave, nullptr);
    EXPECT_EQ(modeChange, -1);
    plant_command_sentinel();
    gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveNo")));
    pump_events();
    EXPECT_EQ(command_file(), "undo");
    EXPECT_EQ(wdgWinSave, nullptr);
    ASSERT_NE(wdgWinAdjust, nullptr);
    EXPECT_FALSE(bDidChange);
    EXPECT_EQ(modeChange, 0);
    EXPECT_EQ(last_modeline(0), nullptr) << "No stores nothing";
    EXPECT_FALSE(same_timings(server_mode(0).line, start.line)) << "switched to the previous mode";
    expect_window_shows(0);

    // The mode left behind had its step undone before the switch.
    bHalLoaded = 0;
    click("buttonNext");
    EXPECT_TRUE(same_timings(server_mode(0).line, start.line));
}

TEST_F(AdjustTest, YesAfterOkClosesBothAndSameModeTwiceGetsTwoNames)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        open_adjust(1);
        click(round == 0 ? "buttonDown" : "buttonUp");
        ServerMode adjusted = server_mode(1);
        click("buttonAdjustDone");
        ASSERT_NE(wdgWinSave, nullptr);
        EXPECT_EQ(modeChange, 0);
        gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveYes")));
        pump_events();
        EXPECT_EQ(wdgWinSave, nullptr);
        EXPECT_EQ(wdgWinAdjust, nullptr);
        const XF86ConfModeLineRec* stored = last_modeline(1);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->identifier, expected_name(adjusted, 1) + (round == 0 ? "" : "(1)"));
        EXPECT_EQ(stored->vsyncstart, adjusted.line.vsyncstart);
        EXPECT_EQ(last_modeline(0), nullptr) << "display 1 untouched";
    }

    // The display modes dialog for display 2 offers both stored modes.
    nbElementSelected = 0;
    CurrentScreen = 1;
    GtkWidget* dialog = create_winResolutions();
    ASSERT_NE(dialog, nullptr);
    gtk_widget_show(dialog);
    pump_events();
    std::vector<std::string> offered;
    GtkWidget* list = lookup_widget(dialog, "listResolutions");
    ASSERT_NE(list, nullptr);
    GList* rows = gtk_container_get_children(GTK_CONTAINER(list));
    for (GList* it = rows; it; it = it->next)
        if (const char* name = static_cast<const char*>(g_object_get_data(G_OBJECT(it->data), CVX_RESOLUTION_NAME_KEY)))
            offered.push_back(name);
    g_list_free(rows);
    gtk_widget_destroy(dialog);
    pump_events();
    const auto* lines = confGetUserModeLines(pXF86Config, 1);
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->size(), 2u);
    for (const XF86ConfModeLineRec& line : *lines)
        EXPECT_NE(std::find(offered.begin(), offered.end(), line.identifier), offered.end()) << line.identifier;
}

TEST_F(AdjustTest, OkAndCloseBoxWithoutChangeCloseAtOnce)
{
    open_adjust(0);
    click("buttonAdjustDone");
    EXPECT_EQ(wdgWinAdjust, nullptr);
    EXPECT_EQ(wdgWinSave, nullptr);

    open_adjust(0);
    send_delete(wdgWinAdjust);
    EXPECT_EQ(wdgWinAdjust, nullptr);
    EXPECT_EQ(wdgWinSave, nullptr);
}

TEST_F(AdjustTest, CloseBoxAfterChangeKeepsTheWindowAndCentresTheDialog)
{
    open_adjust(0);
    click("buttonDown");
    send_delete(wdgWinAdjust);
    ASSERT_NE(wdgWinAdjust, nullptr);
    ASSERT_NE(wdgWinSave, nullptr);
    EXPECT_EQ(modeChange, 0);
    int mx, my, mw, mh, dx, dy, dw, dh;
    gtk_window_get_position(GTK_WINDOW(main_window), &mx, &my);
    gtk_window_get_size(GTK_WINDOW(main_window), &mw, &mh);
    gtk_window_get_position(GTK_WINDOW(wdgWinSave), &dx, &dy);
    gtk_window_get_size(GTK_WINDOW(wdgWinSave), &dw, &dh);
    EXPECT_NEAR(dx + dw / 2, mx + mw / 2, 2);
    EXPECT_NEAR(dy + dh / 2, my + mh / 2, 2);
    EXPECT_EQ(dw, 350);
    EXPECT_EQ(dh, 192);
    cvx::test::screenshot(world().server->display(), "save-dialog-centred");

    // The dialog's own close box does nothing; the window behind takes no close.
    send_delete(wdgWinSave);
    ASSERT_NE(wdgWinSave, nullptr);
    send_delete(wdgWinAdjust);
    ASSERT_NE(wdgWinAdjust, nullptr);

    // No: undone, both closed.
    ServerMode adjusted = server_mode(0);
    gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveNo")));
    pump_events();
    EXPECT_EQ(wdgWinSave, nullptr);
    EXPECT_EQ(wdgWinAdjust, nullptr);
    EXPECT_FALSE(bDidChange);
    EXPECT_EQ(server_mode(0).line.vsyncstart, adjusted.line.vsyncstart + 1);
    EXPECT_EQ(last_modeline(0), nullptr);
}

TEST_F(AdjustTest, OkAfterChangeShowsTheDialogWhereItIs)
{
    open_adjust(0);
    click("buttonNarrower");
    click("buttonAdjustDone");
    ASSERT_NE(wdgWinSave, nullptr);
    ASSERT_NE(wdgWinAdjust, nullptr);
    int mx, my, mw, mh, dx, dy, dw, dh;
    gtk_window_get_position(GTK_WINDOW(main_window), &mx, &my);
    gtk_window_get_size(GTK_WINDOW(main_window), &mw, &mh);
    gtk_window_get_position(GTK_WINDOW(wdgWinSave), &dx, &dy);
    gtk_window_get_size(GTK_WINDOW(wdgWinSave), &dw, &dh);
    EXPECT_FALSE(std::abs(dx + dw / 2 - (mx + mw / 2)) <= 2 && std::abs(dy + dh / 2 - (my + mh / 2)) <= 2);
    gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveNo")));
    pump_events();
    EXPECT_EQ(wdgWinAdjust, nullptr);
}

TEST_F(AdjustTest, A65MHzModeShowsItsClockAndSixtyHz)
{
    // The classic 1024 x 768 at 60 Hz, added to the server and switched to.
    XF86VidModeModeInfo info{};
    info.dotclock = 65000;
    info.hdisplay = 1024, info.hsyncstart = 1048, info.hsyncend = 1184, info.htotal = 1344;
    info.vdisplay = 768, info.vsyncstart = 771, info.vsyncend = 777, info.vtotal = 806;
    info.flags = 0x000a;  // -hsync -vsync
    Display* d = world().probe;
    XF86VidModeAddModeLine(d, 0, &info, nullptr);
    XF86VidModeLockModeSwitch(d, 0, 0);
    const bool switched = XF86VidModeSwitchToMode(d, 0, &info);
    XSync(d, False);
    ServerMode start = server_mode(0);
    if (!switched || start.clock != 65000)
        GTEST_SKIP() << "the server would not take the 65 MHz mode (clock " << start.clock << ")";
    open_adjust(0);
    EXPECT_EQ(label_text(wdgWinAdjust, "lblPixelClockValue"), "65.000");
    EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(lookup_widget(wdgWinAdjust, "sbuttonRefresh"))), 60);
    EXPECT_NE(label_text(main_window, "lblResInfo").find("Display 1: 1024 x 768, 24-bit, 60 Hz\n"), std::string::npos);

    click("buttonWider");
    click("buttonAdjustDone");
    ASSERT_NE(wdgWinSave, nullptr);
    gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveYes")));
    pump_events();
    const XF86ConfModeLineRec* stored = last_modeline(0);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->identifier, expected_name(server_mode(0), 0));
    EXPECT_EQ(stored->flags, 0x000a);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!start_world("xinerama", true))
        return 1;
    const int result = RUN_ALL_TESTS();
    stop_world();
    return result;
}
