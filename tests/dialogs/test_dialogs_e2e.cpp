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

// A single display at 16 bits with one resolution.
const std::string kOriginal = fixture("single-depth16.conf");

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
    std::string config;
};

TEST_F(DialogsEndToEnd, ChosenModesAndDepthReachTheSavedFile)
{
    Program program;
    const std::string main = open_main_window();
    ASSERT_FALSE(main.empty());

    click(main, spot::kResolution1);
    const std::string modes = wait_for_window("Corvex Twinscape - Display Modes");
    ASSERT_FALSE(modes.empty()) << "no display modes dialog";
    // The click gives the list the focus and toggles 640x480 (pre-selected)
    // off; Down and Space then select 800x600 and 1024x768.
    click(modes, spot::kFirstListRow);
    key("Down space Down space");
    click(modes, spot::kRadio24);   // "Larger to smaller" is the default order
    screenshot(g_server->display(), "dialogs-e2e-display-modes");
    click(modes, spot::kResolutionsOk);
    EXPECT_TRUE(window_gone(modes));

    click(main, spot::kSaveAndExit);
    const std::string box = wait_for_window("Corvex Twinscape", {main});
    ASSERT_FALSE(box.empty()) << "no confirmation";
    click(box, spot::kMsgBoxOk);
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
    EXPECT_TRUE(xorg_accepts(config, g_root->file("xorg-check"), log)) << log;
}

TEST_F(DialogsEndToEnd, PreviewClosedByTheCloseBoxOpensAnewAndInformationShows)
{
    Program program;
    const std::string main = open_main_window();
    ASSERT_FALSE(main.empty());

    click(main, spot::kPreview);
    const std::string first = wait_for_window("Corvex Twinscape - Configuration File");
    ASSERT_FALSE(first.empty()) << "no preview window";
    screenshot(g_server->display(), "dialogs-e2e-preview");
    // The window manager's close (WM_DELETE_WINDOW).
    sh("xdotool windowactivate --sync " + first + " 2>/dev/null");
    key("alt+F4");
    ASSERT_TRUE(window_gone(first));
    ASSERT_TRUE(program.running());

    // Pressed again, the button opens a new window rather than refreshing the gone one.
    click(main, spot::kPreview);
    const std::string second = wait_for_window("Corvex Twinscape - Configuration File");
    ASSERT_FALSE(second.empty()) << "no second preview window";
    EXPECT_TRUE(program.running());
    // Refresh while open: no second preview window comes.
    EXPECT_FALSE(click(main, spot::kPreview,
                       [] { return windows_named("Corvex Twinscape - Configuration File").size() > 1; }, 1000));
    sh("xdotool windowactivate --sync " + second + " 2>/dev/null");   // the main window was clicked last
    click(second, spot::kPreviewClose);
    EXPECT_TRUE(window_gone(second));
    screenshot(g_server->display(), "dialogs-e2e-preview-closed");

    click(main, spot::kInformation);
    const std::string info = wait_for_window("Corvex Twinscape - Information");
    ASSERT_FALSE(info.empty()) << "no information window";
    screenshot(g_server->display(), "dialogs-e2e-information");
    click(info, spot::kInfoOk);
    EXPECT_TRUE(window_gone(info));

    click(main, spot::kExit);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(config), kOriginal);   // nothing saved
    for (const auto& e : fs::directory_iterator(g_root->file("tmp")))
        EXPECT_FALSE(e.path().filename().string().starts_with(".cvxTemp")) << "left behind: " << e.path();
}

}  // namespace

int main(int argc, char** argv)
{
    XServerOptions options;
    options.driver_emulator = true;
    options.window_manager = true;
    return run_tests_on_x_server(argc, argv, options, g_root, g_server);
}
