// A live adjustment stored as a custom mode, as an administrator does it: the
// real program on a private X server with the emulated board and driver, real
// pointer clicks and keys (xdotool) at the widgets' positions, and the file
// on disk afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/config.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include "support/e2e.h"
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

struct Mode {
    XF86VidModeModeLine line{};
    int clock = 0;
};

Mode server_mode()
{
    Mode m;
    Display* d = XOpenDisplay(g_server->display().c_str());
    if (!d)
        return m;
    XF86VidModeGetModeLine(d, 0, &m.clock, &m.line);
    if (m.line.c_private)
        XFree(m.line.c_private);
    m.line.c_private = nullptr;
    XCloseDisplay(d);
    return m;
}

// A single display as the program itself writes it.
const std::string kOriginal = fixture("single-depth24.conf");

TEST(AdjustEndToEnd, WiderTwiceAndLeftStoredAndSelectedReachTheFile)
{
    const std::string config = g_root->file("etc/X11/xorg.conf");
    fs::create_directories(fs::path(config).parent_path());
    std::ofstream(config, std::ios::binary) << kOriginal;
    const Mode start = server_mode();
    ASSERT_GT(start.clock, 0);

    Program program;
    const std::string main = open_main_window();
    ASSERT_FALSE(main.empty()) << "no main window";
    EXPECT_FALSE(eventually([] { return windows_named("Corvex Twinscape").size() > 1; }, 500))
        << "no warning expected with driver and HAL";

    click(main, spot::kAdjust1);
    const std::string adjust = wait_for_window("Corvex Twinscape - Monitor Settings");
    ASSERT_FALSE(adjust.empty()) << "no monitor settings window";
    click(adjust, spot::kWider);
    click(adjust, spot::kWider);
    EXPECT_TRUE(click(adjust, spot::kLeft, [&] {
        const Mode now = server_mode();
        return now.line.htotal == start.line.htotal - 16 && now.line.hsyncstart == start.line.hsyncstart + 8;
    })) << "the three adjustments did not reach the server";
    screenshot(g_server->display(), "adjust-e2e-adjusted");

    const Mode adjusted = server_mode();
    EXPECT_EQ(adjusted.line.htotal, start.line.htotal - 16);
    EXPECT_EQ(adjusted.line.hsyncstart, start.line.hsyncstart + 8);
    EXPECT_EQ(adjusted.line.hsyncend, start.line.hsyncend + 8);
    EXPECT_EQ(adjusted.line.vtotal, start.line.vtotal);

    click(adjust, spot::kAdjustOk);
    const std::string save = wait_for_window("Corvex Twinscape - Save Settings");
    ASSERT_FALSE(save.empty()) << "no save dialog";
    screenshot(g_server->display(), "adjust-e2e-save-dialog");
    click(save, spot::kSaveYes);
    EXPECT_TRUE(window_gone(adjust));
    EXPECT_TRUE(window_gone(save));

    // The display modes dialog: give the list the focus (a click toggles the
    // first entry, a second click toggles it back), then select the last
    // entry, the stored mode, with End and Space.
    click(main, spot::kResolution1);
    const std::string modes = wait_for_window("Corvex Twinscape - Display Modes");
    ASSERT_FALSE(modes.empty()) << "no display modes dialog";
    click(modes, spot::kFirstListRow);
    click(modes, spot::kFirstListRow);
    key("End");
    key("space");
    screenshot(g_server->display(), "adjust-e2e-display-modes");
    click(modes, spot::kResolutionsOk);
    EXPECT_TRUE(window_gone(modes));

    click(main, spot::kSaveAndExit);
    const std::string box = wait_for_window("Corvex Twinscape", {main});
    ASSERT_FALSE(box.empty()) << "no confirmation";
    click(box, spot::kMsgBoxOk);
    EXPECT_EQ(program.wait_exit(), 0);

    XF86ConfigHolder tree(xf86parseConfigText(read_file(config), config.c_str()));
    ASSERT_NE(tree, nullptr);
    const auto* lines = confGetUserModeLines(tree.get(), 0);
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->size(), 1u);
    const XF86ConfModeLineRec& stored = lines->front();
    const double rate = adjusted.clock * 1000.0 / (double(adjusted.line.htotal) * adjusted.line.vtotal);
    char name[64];
    std::snprintf(name, sizeof name, "%dx%d@%dHz:0", adjusted.line.hdisplay, adjusted.line.vdisplay,
                  static_cast<int>(rate * 100 + 50) / 100);
    EXPECT_EQ(stored.identifier, name);
    EXPECT_NEAR(stored.clock, adjusted.clock, 50) << "written in MHz";
    EXPECT_EQ(stored.hdisplay, adjusted.line.hdisplay);
    EXPECT_EQ(stored.hsyncstart, adjusted.line.hsyncstart);
    EXPECT_EQ(stored.hsyncend, adjusted.line.hsyncend);
    EXPECT_EQ(stored.htotal, adjusted.line.htotal);
    EXPECT_EQ(stored.vdisplay, adjusted.line.vdisplay);
    EXPECT_EQ(stored.vsyncstart, adjusted.line.vsyncstart);
    EXPECT_EQ(stored.vsyncend, adjusted.line.vsyncend);
    EXPECT_EQ(stored.vtotal, adjusted.line.vtotal);

    const char* names[16] = {};
    const int n = confGetResolutions(tree.get(), 0, 24, names, 16);
    std::vector<std::string> modes_line(names, names + n);
    EXPECT_NE(std::find(modes_line.begin(), modes_line.end(), std::string(name)), modes_line.end())
        << "the Screen's Modes line names the stored mode";
    EXPECT_NE(std::find(modes_line.begin(), modes_line.end(), std::string("1024x768")), modes_line.end());

    std::string log;
    EXPECT_TRUE(xorg_accepts(config, g_root->file("xorg-check"), log)) << log;
}

}  // namespace

int main(int argc, char** argv)
{
    XServerOptions options;
    options.driver_emulator = true;
    options.window_manager = true;
    return run_tests_on_x_server(argc, argv, options, g_root, g_server);
}
