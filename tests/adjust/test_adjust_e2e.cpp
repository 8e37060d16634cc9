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

// A real key press (XTEST) to the window that has the focus.
void key(const std::string& name)
{
    sh("xdotool key " + name + " 2>/dev/null");
    sh("xdotool sleep 0.3");
}

// Centres of the widgets the run clicks (positions and sizes of the layouts).
constexpr Spot kOpenOk{296 + 31, 192 + 12};
constexpr Spot kMsgBoxOk{160 + 44, 136 + 16};
constexpr Spot kSaveAndExit{440 + 52, 376 + 16};
constexpr Spot kResolution1{24 + 48, 96 + 44};
constexpr Spot kAdjust1{24 + 48, 184 + 12};
constexpr Spot kWider{216 + 28, 248 + 16};
constexpr Spot kLeft{40 + 20, 208 + 20};
constexpr Spot kAdjustOk{56 + 44, 320 + 12};
constexpr Spot kSaveYes{16 + 40, 136 + 16};
constexpr Spot kFirstListRow{8 + 60, 56 + 8};
constexpr Spot kResolutionsOk{336 + 40, 384 + 12};

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
constexpr const char* kOriginal = R"(Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    BusID "PCI:1:0:0"
EndSection

Section "Monitor"
    Identifier "Display 1"
    HorizSync 28.0-96.0
    VertRefresh 50.0-100.0
EndSection

Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
    EndSubSection
EndSection

Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen 0 "Display 1" 0 0
EndSection
)";

TEST(AdjustEndToEnd, WiderTwiceAndLeftStoredAndSelectedReachTheFile)
{
    const std::string config = g_root->file("etc/X11/xorg.conf");
    fs::create_directories(fs::path(config).parent_path());
    std::ofstream(config, std::ios::binary) << kOriginal;
    const Mode start = server_mode();
    ASSERT_GT(start.clock, 0);

    Program program;
    const std::string open = wait_for_window("Corvex Twinscape - Configuration File");
    ASSERT_FALSE(open.empty()) << "no configuration-file window";
    click_at(open, kOpenOk.x, kOpenOk.y);
    const std::string main = wait_for_window("Corvex Twinscape");
    ASSERT_FALSE(main.empty()) << "no main window";
    sh("xdotool sleep 0.5");
    ASSERT_EQ(windows_named("Corvex Twinscape").size(), 1u) << "no warning expected with driver and HAL";

    click_at(main, kAdjust1.x, kAdjust1.y);
    const std::string adjust = wait_for_window("Corvex Twinscape - Monitor Settings");
    ASSERT_FALSE(adjust.empty()) << "no monitor settings window";
    click_at(adjust, kWider.x, kWider.y);
    click_at(adjust, kWider.x, kWider.y);
    click_at(adjust, kLeft.x, kLeft.y);
    screenshot(g_server->display(), "adjust-e2e-adjusted");

    const Mode adjusted = server_mode();
    EXPECT_EQ(adjusted.line.htotal, start.line.htotal - 16);
    EXPECT_EQ(adjusted.line.hsyncstart, start.line.hsyncstart + 8);
    EXPECT_EQ(adjusted.line.hsyncend, start.line.hsyncend + 8);
    EXPECT_EQ(adjusted.line.vtotal, start.line.vtotal);

    click_at(adjust, kAdjustOk.x, kAdjustOk.y);
    const std::string save = wait_for_window("Corvex Twinscape - Save Settings");
    ASSERT_FALSE(save.empty()) << "no save dialog";
    screenshot(g_server->display(), "adjust-e2e-save-dialog");
    click_at(save, kSaveYes.x, kSaveYes.y);
    EXPECT_TRUE(window_gone(adjust));
    EXPECT_TRUE(window_gone(save));

    // The display modes dialog: give the list the focus (a click toggles the
    // first entry, a second click toggles it back), then select the last
    // entry, the stored mode, with End and Space.
    click_at(main, kResolution1.x, kResolution1.y);
    const std::string modes = wait_for_window("Corvex Twinscape - Display Modes");
    ASSERT_FALSE(modes.empty()) << "no display modes dialog";
    click_at(modes, kFirstListRow.x, kFirstListRow.y);
    click_at(modes, kFirstListRow.x, kFirstListRow.y);
    key("End");
    key("space");
    screenshot(g_server->display(), "adjust-e2e-display-modes");
    click_at(modes, kResolutionsOk.x, kResolutionsOk.y);
    EXPECT_TRUE(window_gone(modes));

    click_at(main, kSaveAndExit.x, kSaveAndExit.y);
    const std::string box = wait_for_window("Corvex Twinscape", {main});
    ASSERT_FALSE(box.empty()) << "no confirmation";
    click_at(box, kMsgBoxOk.x, kMsgBoxOk.y);
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
    EXPECT_TRUE(xorg_parses(*g_root, config, log)) << log;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_root = std::make_unique<TempRoot>();
    try {
        XServerOptions options;
        options.driver_emulator = true;
        options.window_manager = true;
        g_server = std::make_unique<XServer>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no test X server: %s\n", e.what());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    g_server.reset();
    g_root.reset();
    return result;
}
