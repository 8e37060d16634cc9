// Two X screens: Prev and Next in the monitor settings window of display 2
// lock the hot-keys of screen 1 again after their switch. Every way out of
// the program (the window, a must-exit box, each termination signal, the
// board probe's fatal end) must give them back there as on screen 0. The
// real program, real clicks, and a second client that asks for switches.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "support/e2e.h"
#include "support/hotkeys.h"
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

constexpr const char* kMain = "Corvex Twinscape";
constexpr const char* kAdjust = "Corvex Twinscape - Monitor Settings";

// Acknowledges the message boxes (titled as the main window) that come up
// within a short while; returns how many there were.
int acknowledge_boxes(const std::string& main)
{
    int n = 0;
    for (;;) {
        std::string box;
        eventually([&] {
            for (const std::string& id : windows_named(kMain))
                if (id != main)
                    box = id;
            return !box.empty();
        }, 1500);
        if (box.empty())
            return n;
        click(box, spot::kMsgBoxOk);
        if (!window_gone(box))
            return n;
        ++n;
    }
}

struct WayOut {
    const char* name;
    const char* board;
    int direction;   // -1 Prev, +1 Next
    int status;
    const char* message;   // on standard output, or null
    std::function<void(Program&, const std::string& main)> end;
};

const WayOut kWaysOut[] = {
    {"Exit", "corvex-0525-r80.board", -1, 0, nullptr,
     [](Program&, const std::string& main) { click(main, spot::kExit); }},
    {"MustExitBox", "corvex-0525-r80.board", +1, 0, nullptr,
     [](Program&, const std::string& main) {
         click(main, spot::kSaveAndExit);
         const std::string box = wait_for_window(kMain, {main});
         ASSERT_FALSE(box.empty()) << "no box after Save and Exit";
         click(box, spot::kMsgBoxOk);
     }},
    {"SIGTERM", "corvex-0525-r80.board", -1, 3, nullptr,
     [](Program& p, const std::string&) { p.signal(SIGTERM); }},
    {"SIGINT", "corvex-0525-r80.board", +1, 3, nullptr,
     [](Program& p, const std::string&) { p.signal(SIGINT); }},
    {"SIGQUIT", "corvex-0525-r80.board", -1, 3, nullptr,
     [](Program& p, const std::string&) { p.signal(SIGQUIT); }},
    {"SIGHUP", "corvex-0525-r80.board", +1, 3, nullptr,
     [](Program& p, const std::string&) { p.signal(SIGHUP); }},
    // The information window reads the graphics BIOS through the memory
    // device, which this board's machine cannot open.
    {"ProbeFatalExit", "no-devmem.board", -1, 255, "open Error - Quiting \n",
     [](Program&, const std::string& main) { click(main, spot::kInformation); }},
};

void PrintTo(const WayOut& way, std::ostream* out) { *out << way.name; }

class HotKeysOfEveryScreen : public ::testing::TestWithParam<WayOut> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_server);
        const std::string config = g_root->file("etc/X11/xorg.conf");
        fs::create_directories(fs::path(config).parent_path());
        fs::remove(config + "_CVX-BACKUP");
        std::ofstream(config, std::ios::binary) << fixture("pairview.conf");
        // A case that failed leaves screens locked: not the next one's business.
        x.unlock(0);
        x.unlock(1);
        ASSERT_EQ(ScreenCount(x.display()), 2);
        ASSERT_TRUE(x.switch_works(0));
        ASSERT_TRUE(x.switch_works(1));
        // Screen 1 where the case's button moves it, so that its click shows.
        const int direction = GetParam().direction;
        if (x.switch_by(1, direction))
            x.switch_by(1, -direction);
        else
            ASSERT_TRUE(x.switch_by(1, -direction));
    }
    ModeSwitcher x{g_server ? g_server->display().c_str() : nullptr};
};

TEST_P(HotKeysOfEveryScreen, AreGivenBackAfterAModeSwitchOnDisplayTwo)
{
    const WayOut& way = GetParam();
    Program program(way.board, Program::Output::capture);
    const std::string main = open_main_window();
    ASSERT_FALSE(main.empty()) << "no main window";
    acknowledge_boxes(main);

    click(main, spot::kAdjustRight);
    const std::string adjust = wait_for_window(kAdjust);
    ASSERT_FALSE(adjust.empty()) << "no monitor settings window for display 2";
    acknowledge_boxes(main);

    screenshot(g_server->display(), std::string("screens-adjust-2-") + way.name);
    const std::string before = x.mode(1);
    EXPECT_TRUE(click(adjust, way.direction < 0 ? spot::kPrev : spot::kNext, [&] { return x.mode(1) != before; }))
        << "the mode of screen 1 did not change";
    EXPECT_FALSE(x.switch_works(1)) << "screen 1 not locked again after the switch";
    EXPECT_FALSE(x.switch_works(0));
    click(adjust, spot::kAdjustOk);
    ASSERT_TRUE(window_gone(adjust));

    way.end(program, main);
    EXPECT_EQ(program.wait_exit(), way.status);
    if (way.message) {
        EXPECT_NE(program.out().find(way.message), std::string::npos) << program.out();
    }
    EXPECT_TRUE(x.switch_works(1)) << "the hot-keys of screen 1 stay locked";
    EXPECT_TRUE(x.switch_works(0)) << "the hot-keys of screen 0 stay locked";
}

INSTANTIATE_TEST_SUITE_P(EachWayOut, HotKeysOfEveryScreen, ::testing::ValuesIn(kWaysOut),
                         [](const ::testing::TestParamInfo<WayOut>& param) { return std::string(param.param.name); });

}  // namespace

int main(int argc, char** argv)
{
    XServerOptions options;
    options.layout = "two";
    options.driver_emulator = true;
    options.window_manager = true;
    return run_tests_on_x_server(argc, argv, options, g_root, g_server);
}
