// The display modes dialog and the preview window as an administrator uses
// them: the real program on a private X server with the emulated board and
// driver, real pointer clicks and keys (xdotool), the saved file afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "xf86config/xf86config.h"
#include "config/config.h"
#include "support/e2e.h"
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

void key(const std::string& names)
{
    sh("xdotool key --delay 50 " + names + " 2>/dev/null");
    sh("xdotool sleep 0.3");
}

// Centres of the widgets the runs click (positions and sizes of the layouts).
constexpr Spot kOpenOk{296 + 31, 192 + 12};
constexpr Spot kMsgBoxOk{160 + 44, 136 + 16};
constexpr Spot kSaveAndExit{440 + 52, 376 + 16};
constexpr Spot kExit{312 + 52, 376 + 16};
constexpr Spot kResolution1{24 + 48, 96 + 44};
constexpr Spot kPreview{424 + 60, 264 + 16};
constexpr Spot kInformation{424 + 60, 312 + 12};
constexpr Spot kFirstListRow{8 + 60, 56 + 6};
constexpr Spot kRadio24{256 + 8, 88 + 12};
constexpr Spot kResolutionsOk{336 + 40, 384 + 12};
constexpr Spot kPreviewClose{8 + 240, 464 + 16};
constexpr Spot kInfoOk{72 + 76, 168 + 12};

// A single display at 16 bits with one resolution.
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
    DefaultDepth 16
    SubSection "Display"
        Depth 16
        Modes "640x480"
    EndSubSection
EndSection

Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen 0 "Display 1" 0 0
EndSection
)";

class DialogsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_server);
        config = g_root->file("etc/X11/xorg.conf");
        fs::create_directories(fs::path(config).parent_path());
        fs::remove(config + "_CVX-BACKUP");
        std::ofstream(config, std::ios::binary) << kOriginal;
        fs::remove(g_root->file("tmp/cvxscape.lock"));
    }
    std::string open_main_window()
    {
        const std::string open = wait_for_window("Corvex Twinscape - Configuration File");
        EXPECT_FALSE(open.empty()) << "no configuration-file window";
        if (open.empty())
            return {};
        click_at(open, kOpenOk.x, kOpenOk.y);
        EXPECT_TRUE(window_gone(open));
        const std::string main = wait_for_window("Corvex Twinscape");
        EXPECT_FALSE(main.empty()) << "no main window";
        sh("xdotool sleep 0.5");
        return main;
    }
    std::string config;
};

TEST_F(DialogsEndToEnd, ChosenModesAndDepthReachTheSavedFile)
{
    Program program;
    const std::string main = open_main_window();
    ASSERT_FALSE(main.empty());

    click_at(main, kResolution1.x, kResolution1.y);
    const std::string modes = wait_for_window("Corvex Twinscape - Display Modes");
    ASSERT_FALSE(modes.empty()) << "no display modes dialog";
    // The click gives the list the focus and toggles 640x480 (pre-selected)
    // off; Down and Space then select 800x600 and 1024x768.
    click_at(modes, kFirstListRow.x, kFirstListRow.y);
    key("Down space Down space");
    click_at(modes, kRadio24.x, kRadio24.y);   // "Larger to smaller" is the default order
    screenshot(g_server->display(), "dialogs-e2e-display-modes");
    click_at(modes, kResolutionsOk.x, kResolutionsOk.y);
    EXPECT_TRUE(window_gone(modes));

    click_at(main, kSaveAndExit.x, kSaveAndExit.y);
    const std::string box = wait_for_window("Corvex Twinscape", {main});
    ASSERT_FALSE(box.empty()) << "no confirmation";
    click_at(box, kMsgBoxOk.x, kMsgBoxOk.y);
    EXPECT_EQ(program.wait_exit(), 0);

    XF86ConfigHolder tree(xf86parseConfigText(read_file(config), config.c_str()));
    ASSERT_NE(tree, nullptr);
    XF86ConfScreenPtr screen = xf86findScreen("Display 1", tree.get());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->defaultdepth, 24);
    EXPECT_EQ(screen->defaultfbbpp, 0);
    for (int depth : {8, 16, 24}) {
        const auto it = std::find_if(screen->displays.begin(), screen->displays.end(),
                                     [&](const XF86ConfDisplayRec& d) { return d.depth == depth; });
        ASSERT_NE(it, screen->displays.end()) << "no Display subsection for depth " << depth;
        EXPECT_EQ(it->modes, (std::vector<std::string>{"1024x768", "800x600"})) << "depth " << depth;
    }
    std::string log;
    EXPECT_TRUE(xorg_parses(*g_root, config, log)) << log;
}

TEST_F(DialogsEndToEnd, PreviewClosedByTheCloseBoxOpensAnewAndInformationShows)
{
    Program program;
    const std::string main = open_main_window();
    ASSERT_FALSE(main.empty());

    click_at(main, kPreview.x, kPreview.y);
    const std::string first = wait_for_window("Corvex Twinscape - Configuration File");
    ASSERT_FALSE(first.empty()) << "no preview window";
    screenshot(g_server->display(), "dialogs-e2e-preview");
    // The window manager's close (WM_DELETE_WINDOW).
    sh("xdotool windowactivate --sync " + first + " 2>/dev/null");
    key("alt+F4");
    ASSERT_TRUE(window_gone(first));
    ASSERT_TRUE(program.running());

    // Pressed again, the button opens a new window rather than refreshing the gone one.
    click_at(main, kPreview.x, kPreview.y);
    const std::string second = wait_for_window("Corvex Twinscape - Configuration File");
    ASSERT_FALSE(second.empty()) << "no second preview window";
    EXPECT_TRUE(program.running());
    // Refresh while open: still one preview window.
    click_at(main, kPreview.x, kPreview.y);
    EXPECT_EQ(windows_named("Corvex Twinscape - Configuration File").size(), 1u);
    sh("xdotool windowactivate --sync " + second + " 2>/dev/null");   // the main window was clicked last
    click_at(second, kPreviewClose.x, kPreviewClose.y);
    EXPECT_TRUE(window_gone(second));
    screenshot(g_server->display(), "dialogs-e2e-preview-closed");

    click_at(main, kInformation.x, kInformation.y);
    const std::string info = wait_for_window("Corvex Twinscape - Information");
    ASSERT_FALSE(info.empty()) << "no information window";
    screenshot(g_server->display(), "dialogs-e2e-information");
    click_at(info, kInfoOk.x, kInfoOk.y);
    EXPECT_TRUE(window_gone(info));

    click_at(main, kExit.x, kExit.y);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(config), kOriginal);   // nothing saved
    for (const auto& e : fs::directory_iterator(g_root->file("tmp")))
        EXPECT_FALSE(e.path().filename().string().starts_with(".cvxTemp")) << "left behind: " << e.path();
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
