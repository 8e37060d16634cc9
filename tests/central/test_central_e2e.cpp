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
        click(open, spot::kOpenOk);
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
        click(box, spot::kMsgBoxOk);
        return eventually([&] {
            const auto ids = windows_named("Corvex Twinscape");
            return std::find(ids.begin(), ids.end(), box) == ids.end();
        });
    }

    // "Save and Exit", then the confirmation's OK; the program's exit status.
    int save_and_exit(Program& program, const std::string& main, const std::string& shot)
    {
        click(main, spot::kSaveAndExit);
        const std::string box = wait_for_window("Corvex Twinscape", {main});
        EXPECT_FALSE(box.empty()) << "no confirmation";
        screenshot(g_server->display(), shot);
        click(box, spot::kMsgBoxOk);
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
        EXPECT_TRUE(xorg_accepts(config, g_root->file("xorg-check"), log)) << log;
    }

    inline static const std::string kOriginal = fixture("one-display-foreign.conf");

    std::string config, backup;
    XF86ConfigHolder tree;
};

TEST_F(EditingRun, MultiDisplaySavesTwoDisplaysSideBySideWithXinerama)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    screenshot(g_server->display(), "central-e2e-opened");
    click(main, spot::kRadioMulti);
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
    click(main, spot::kRadioMulti);
    ASSERT_TRUE(acknowledge_notice(main));
    click(main, spot::kInvert);
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
    click(main, spot::kRadioClone);
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
    click(main, spot::kRadioMerged);
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
    click(main, spot::kRadioMulti);
    ASSERT_TRUE(acknowledge_notice(main));
    click(main, spot::kExit);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(config), kOriginal);
    EXPECT_FALSE(fs::exists(backup));
}

TEST_F(EditingRun, CloseRequestWritesNothing)
{
    Program program;
    const std::string main = open_main_window(program);
    ASSERT_FALSE(main.empty());
    click(main, spot::kRadioMerged);
    ASSERT_TRUE(acknowledge_notice(main));
    request_close(main);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(config), kOriginal);
    EXPECT_FALSE(fs::exists(backup));
}

}  // namespace

int main(int argc, char** argv)
{
    XServerOptions options;
    options.driver_emulator = true;
    return run_tests_on_x_server(argc, argv, options, g_root, g_server);
}
