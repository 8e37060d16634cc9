// The three questions against servers whose driver answers differently, or
// has no driver side at all, and the emulated merged framebuffer. One server
// per case, started in turn.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "driver/channel.h"
#include "driver_support.h"
#include "core/globals.h"
#include "core/paths.h"
#include "support/xserver.h"

using namespace cvx::test;
using namespace cvx::test::driver;

namespace {

struct ServerCase {
    const char* name;
    bool emulator;
    std::vector<std::pair<std::string, std::string>> env;
    bool test, hal, merged;
    int question_bells;  // bells rung by the three questions together
};

const std::string long_reply = "YES" + std::string(3000, ' ') + "tail";

const ServerCase cases[] = {
    {"no", true, {{"CVX_EMU_TEST", "NO"}, {"CVX_EMU_HAL", "NO"}, {"CVX_EMU_MERGED", "NO"}}, false, false, false, 0},
    {"only_hal", true, {{"CVX_EMU_MERGED", "NO"}}, true, true, false, 0},
    {"near_misses", true, {{"CVX_EMU_TEST", "YES\n"}, {"CVX_EMU_HAL", "yes"}, {"CVX_EMU_MERGED", "YES "}}, false,
     false, false, 0},
    {"long_and_empty", true, {{"CVX_EMU_TEST", long_reply}, {"CVX_EMU_HAL", ""}}, false, false, true, 0},
    {"no_driver", false, {}, false, false, false, 3},
};

class Answers : public ::testing::TestWithParam<ServerCase> {};

TEST_P(Answers, QuestionsAnswerAsTheDriverDoes)
{
    const ServerCase& c = GetParam();
    TempRoot root;
    XServerOptions options;
    options.driver_emulator = c.emulator;
    options.server_env = c.env;
    XServer server(options);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    BellWatcher bells;
    CurrentScreen = 0;

    // A reply left from before is no answer: only the driver's counts.
    write_file(cvx::paths::driver_out(), "YES");
    Mode m = current_mode(display, 0);
    EXPECT_EQ(isDriverModed(&m.line, display), c.test);
    EXPECT_EQ(isHalLoaded(&m.line, display), c.hal);
    EXPECT_EQ(isMergedAvailable(&m.line, display), c.merged);
    EXPECT_EQ(bells.take(display), c.question_bells);
    EXPECT_EQ(read_file(cvx::paths::driver_in()), "merged");
    EXPECT_FALSE(exists_no_follow(cvx::paths::driver_out()));

    if (!c.emulator) {
        // No driver side: every adjustment rings exactly once and changes nothing.
        const Mode before = current_mode(display, 0);
        unsigned char (*ops[])(XF86VidModeModeLine*, Display*) = {
            moveScreenLeft, moveScreenRight, moveScreenUp, moveScreenDown, resizeScreenWider,
            resizeScreenNarrower, resizeScreenShorter, resizeScreenTaller, UndoLastChange};
        for (auto op : ops) {
            Mode work = current_mode(display, 0);
            EXPECT_FALSE(op(&work.line, display));
            EXPECT_EQ(bells.take(display), 1);
        }
        Mode work = current_mode(display, 0);
        EXPECT_FALSE(applyNewRefresh(&work.line, display, 75));
        EXPECT_EQ(bells.take(display), 1);
        EXPECT_EQ(read_file(cvx::paths::driver_in()), "refresh 75");
        const Mode after = current_mode(display, 0);
        EXPECT_EQ(after.clock, before.clock);
        EXPECT_EQ(after.line.htotal, before.line.htotal);
        EXPECT_EQ(after.line.hsyncstart, before.line.hsyncstart);
        EXPECT_EQ(after.line.vtotal, before.line.vtotal);
        EXPECT_EQ(after.line.vsyncstart, before.line.vsyncstart);
    }
    XCloseDisplay(display);
}

INSTANTIATE_TEST_SUITE_P(Servers, Answers, ::testing::ValuesIn(cases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Two heads under Xinerama, screen 0 running an emulated merged framebuffer.
TEST(MergedServer, DotClockZeroOnScreenZeroAndCommandsReachTheirScreen)
{
    TempRoot root;
    XServerOptions options;
    options.layout = "xinerama";
    options.driver_emulator = true;
    options.server_env = {{"CVX_EMU_DOTCLOCK0", "1"}};
    XServer server(options);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    BellWatcher bells;

    EXPECT_EQ(current_mode(display, 0).clock, 0);
    const Mode second = current_mode(display, 1);
    EXPECT_GT(second.clock, 0);

    CurrentScreen = 1;
    Mode m = second;
    EXPECT_TRUE(moveScreenLeft(&m.line, display));
    EXPECT_EQ(current_mode(display, 1).line.hsyncstart, second.line.hsyncstart + 8);
    EXPECT_EQ(current_mode(display, 0).clock, 0);
    m = current_mode(display, 1);
    EXPECT_TRUE(UndoLastChange(&m.line, display));
    EXPECT_EQ(current_mode(display, 1).line.hsyncstart, second.line.hsyncstart);
    EXPECT_EQ(bells.take(display), 0);

    // A mode with no dot clock cannot carry a request: a failed exchange.
    CurrentScreen = 0;
    m = current_mode(display, 0);
    EXPECT_FALSE(isDriverModed(&m.line, display));
    EXPECT_EQ(bells.take(display), 1);
    XCloseDisplay(display);
}

}  // namespace
