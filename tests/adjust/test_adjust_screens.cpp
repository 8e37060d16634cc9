// Two X screens without Xinerama: the main window's summary names display 1
// only, whichever screen the monitor settings window adjusts.
#include "adjust/adjust_fixture.h"

#include <cstdio>

#include "core/globals.h"
#include "windows/window_state.h"
#include "shell/support.h"
#include "windows/win_adjust.h"
#include "windows/windows.h"

using namespace cvx::test::adjust;
using cvx::test::pump_events;

TEST_F(AdjustTest, WithoutXineramaTheSummaryHasOneLine)
{
    ASSERT_EQ(ScreenCount(world().probe), 2);
    for (int screen : {0, 1}) {
        SCOPED_TRACE(screen);
        open_adjust(screen);
        ServerMode first = server_mode(0);
        char expected[128];
        std::snprintf(expected, sizeof expected, "Display 1: %d x %d, %d-bit, %d Hz", first.line.hdisplay,
                      first.line.vdisplay, DefaultDepth(world().probe, 0),
                      confRefreshRate(first.clock, first.line.htotal, first.line.vtotal));
        EXPECT_EQ(label_text(main_window, "lblResInfo"), expected);

        // The window itself follows its own screen.
        click("buttonRight");
        ServerMode own = server_mode(screen);
        EXPECT_NE(text_view_text(wdgWinAdjust, "txtParams")
                      .find("Horizontal sync start: " + std::to_string(own.line.hsyncstart) + "\n"),
                  std::string::npos);
        EXPECT_TRUE(bDidChange);
        click("buttonAdjustDone");
        ASSERT_NE(wdgWinSave, nullptr);
        gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinSave, "buttonSaveNo")));
        pump_events();
        EXPECT_EQ(wdgWinAdjust, nullptr);
    }
}

TEST_F(AdjustTest, AScreenTheServerDoesNotHaveIsRefusedWithoutEndingTheProgram)
{
    // The server answers requests for screen 2 with an X error; Xlib's
    // default handling would end the process here.
    XF86VidModeModeLine before = mode_line;
    open_adjust(2);
    ASSERT_NE(wdgWinAdjust, nullptr);
    EXPECT_EQ(mode_line.hdisplay, before.hdisplay) << "nothing read, nothing changed";
    click("buttonNext");
    click("buttonAdjustDone");
    EXPECT_EQ(wdgWinAdjust, nullptr) << "OK still closes the window";
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!start_world("two", true))
        return 1;
    const int result = RUN_ALL_TESTS();
    stop_world();
    return result;
}
