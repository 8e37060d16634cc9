// The editing run as an administrator does it: the real program on a private
// X server with the emulated board and driver, real pointer clicks at the
// widgets' positions (xdotool), and the files on disk afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/config.h"

#include <X11/Xlib.h>

#include "support/e2e.h"
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

// What a window manager sends when the user closes a window.
void request_close(const std::string& window)
{
    Display* display = XOpenDisplay(g_server->display().c_str());
    if (!display)
        return;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
}

// Centres of the widgets the run clicks (positions and sizes of the layouts).
constexpr Spot kOpenOk{296 + 31, 192 + 12};
constexpr Spot kMsgBoxOk{160 + 44, 136 + 16};
constexpr Spot kSaveAndExit{440 + 52, 376 + 16};
constexpr Spot kExit{312 + 52, 376 + 16};
constexpr Spot kRadioMulti{392 + 8, 96 + 12};
constexpr Spot kRadioClone{392 + 8, 64 + 12};
constexpr Spot kRadioMerged{392 + 8, 128 + 12};
constexpr Spot kInvert{144 + 24, 144 + 20};

class EditingRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_server);
        config = g_root->file("etc/X11/xorg.conf");
        backup = config + "_CVX-BACKUP";
        fs::create_directories(fs::path(config).parent_path());
        fs::remove(backup);
        std::ofstream(config, std::ios::binary) << kOriginal;
        fs::remove(g_root->file("tmp/cvxscape.lock"));
    }

    // Starts the program, accepts the proposed paths and returns the main window.
    std::string open_main_window(Program& program)
    {
        const std::string open = wait_for_window("Corvex Twinscape - Configuration File");
        EXPECT_FALSE(open.empty()) << "no configuration-file window";
        if (open.empty())
            return {};
        click_at(open, kOpenOk.x, kOpenOk.y);
        const std::string main = wait_for_window("Corvex Twinscape");
        EXPECT_FALSE(main.empty()) << "no main window";
        (void)program;
        return main;
    }

    // Waits for the message box that making display 2 shows (the 640 x 480
    // notice), acknowledges it and waits until it is gone. A box can only be
    // waited for, not polled for: the program may still be handling the click.
    bool acknowledge_notice(const std::string& main)
    {
        const std::string box = wait_for_window("Corvex Twinscape", {main});
        if (box.empty())
            return false;
        click_at(box, kMsgBoxOk.x, kMsgBoxOk.y);
        return eventually([&] {
            const auto ids = windows_named("Corvex Twinscape");
            return std::find(ids.begin(), ids.end(), box) == ids.end();
        });
    }

    // "Save and Exit", then the confirmation's OK; the program's exit status.
    int save_and_exit(Program& program, const std::string& main, const std::string& shot)
    {
        click_at(main, kSaveAndExit.x, kSaveAndExit.y);
        const std::string box = wait_for_window("Corvex Twinscape", {main});
        EXPECT_FALSE(box.empty()) << "no confirmation";
        screenshot(g_server->display(), shot);
        click_at(box, kMsgBoxOk.x, kMsgBoxOk.y);
        return program.wait_exit();
    }

    XF86ConfigPtr written_tree()
    {
        tree.reset(xf86parseConfigText(read_file(config), config.c_str()));
        return tree.get();
    }

    void expect_backup_is_original_and_server_parses()
    {
        EXPECT_EQ(read_file(backup), kOriginal);
        std::string log;
        EXPECT_TRUE(xorg_parses(*g_root, config, log)) << log;
    }

    static constexpr const char* kOriginal = R"(# The machine's one display.
Section "Files"
    FontPath "/usr/X11R6/lib/X11/fonts/misc/"
EndSection

Section "Device"
    Identifier "Card0"
    Driver "cvx"
    BusID "PCI:0:9:0"
EndSection

Section "Monitor"
    Identifier "Monitor0"
    HorizSync 30.0-82.0
    VertRefresh 50.0-75.0
EndSection

Section "Screen"
    Identifier "Screen0"
    Device "Card0"
    Monitor "Monitor0"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1280x1024" "1024x768"
    EndSubSection
EndSection

Section "ServerLayout"
    Identifier "Layout0"
    Screen 0 "Screen0" 0 0
EndSection
)";

    std::string config, backup;
    XF86ConfigHolder tree;
};

TEST_F(EditingRun, MultiDisplaySavesTwoDisplaysSideBySideWithXinerama)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    screenshot(g_server->display(), "central-e2e-opened");
    click_at(main, kRadioMulti.x, kRadioMulti.y);
    EXPECT_TRUE(acknowledge_notice(main)) << "the 640 x 480 notice for the new display 2";
    screenshot(g_server->display(), "central-e2e-multi");
    EXPECT_EQ(save_and_exit(program, main, "central-e2e-multi-saved"), 0);

    XF86ConfigPtr t = written_tree();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(confPairViewIsActive(t));
    EXPECT_TRUE(confXineramaIsActive(t));
    int first = -1, relation = -1, second = -1;
    confGetServerLayout(t, &first, &relation, &second);
    EXPECT_EQ(relation, 2) << "Display 1 LeftOf Display 2";
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    const std::string text = read_file(config);
    EXPECT_NE(text.find("Corvex Twinscape configured."), std::string::npos);
    EXPECT_NE(text.find("BusID \"PCI:1:0:0\""), std::string::npos) << "the board's address from the probe";
    expect_backup_is_original_and_server_parses();
}

TEST_F(EditingRun, InvertedMultiDisplaySavesDisplayOneAbove)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    click_at(main, kRadioMulti.x, kRadioMulti.y);
    ASSERT_TRUE(acknowledge_notice(main));
    click_at(main, kInvert.x, kInvert.y);
    screenshot(g_server->display(), "central-e2e-multi-above");
    EXPECT_EQ(save_and_exit(program, main, "central-e2e-above-saved"), 0);
    XF86ConfigPtr t = written_tree();
    ASSERT_NE(t, nullptr);
    int relation = -1;
    confGetServerLayout(t, nullptr, &relation, nullptr);
    EXPECT_EQ(relation, 3) << "Display 1 Above Display 2";
    expect_backup_is_original_and_server_parses();
}

TEST_F(EditingRun, CloneSavesTwoPlainScreenLines)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    click_at(main, kRadioClone.x, kRadioClone.y);
    ASSERT_TRUE(acknowledge_notice(main));
    screenshot(g_server->display(), "central-e2e-clone");
    EXPECT_EQ(save_and_exit(program, main, "central-e2e-clone-saved"), 0);
    XF86ConfigPtr t = written_tree();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(confCloneIsActive(t));
    EXPECT_FALSE(confPairViewIsActive(t));
    expect_backup_is_original_and_server_parses();
}

TEST_F(EditingRun, MergedSavesTheMergedScreenWithMetaModes)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    click_at(main, kRadioMerged.x, kRadioMerged.y);
    ASSERT_TRUE(acknowledge_notice(main));
    screenshot(g_server->display(), "central-e2e-merged");
    EXPECT_EQ(save_and_exit(program, main, "central-e2e-merged-saved"), 0);
    XF86ConfigPtr t = written_tree();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(confMergedFBIsActive(t));
    XF86ConfScreenPtr merged = FindScreen(t, 2);
    ASSERT_NE(merged, nullptr);
    EXPECT_NE(xf86findOptionValue(merged->options, "MetaModes"), nullptr);
    EXPECT_STREQ(xf86findOptionValue(merged->options, "Monitor2Position"), "RightOf");
    EXPECT_FALSE(confHWCursorIsActive(t));
    expect_backup_is_original_and_server_parses();
}

TEST_F(EditingRun, ExitWritesNothing)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    click_at(main, kRadioMulti.x, kRadioMulti.y);
    ASSERT_TRUE(acknowledge_notice(main));
    click_at(main, kExit.x, kExit.y);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(config), kOriginal);
    EXPECT_FALSE(fs::exists(backup));
}

TEST_F(EditingRun, CloseRequestWritesNothing)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    click_at(main, kRadioMerged.x, kRadioMerged.y);
    ASSERT_TRUE(acknowledge_notice(main));
    request_close(main);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(config), kOriginal);
    EXPECT_FALSE(fs::exists(backup));
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_root = std::make_unique<TempRoot>();
    try {
        XServerOptions options;
        options.driver_emulator = true;
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
