// The command channel against a real X server with the driver emulator
// (every answer "YES"): each command's effect on the running timings, the
// bounds and their bell, undo, the two files, and planted links and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/channel.h"
#include "driver_support.h"
#include "core/globals.h"
#include "core/paths.h"
#include "support/xserver.h"

using namespace cvx::test;
using namespace cvx::test::driver;

namespace {

class Channel : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = std::make_unique<TempRoot>();  // first: the server inherits CVXSCAPE_ROOT
        XServerOptions options;
        options.driver_emulator = true;
        s_server = std::make_unique<XServer>(options);
        s_display = XOpenDisplay(nullptr);
        ASSERT_NE(s_display, nullptr);
        s_original = current_mode(s_display, 0);
        s_bells = std::make_unique<BellWatcher>();
        s_bell_volume = s_bells->volume_of(s_display, 80);
    }
    static void TearDownTestSuite()
    {
        s_bells.reset();
        if (s_display)
            XCloseDisplay(s_display);
        s_display = nullptr;
        s_server.reset();
        s_root.reset();
    }
    void SetUp() override
    {
        CurrentScreen = 0;
        ASSERT_TRUE(set_mode(s_display, 0, s_original.line));
        unlink(cvx::paths::driver_in().c_str());
        unlink(cvx::paths::driver_out().c_str());
        s_bells->take(s_display);
        mode = current_mode(s_display, 0);
    }
    // Bells rung since the last look, each at the volume of XBell(80).
    int bells()
    {
        const int n = s_bells->take(s_display);
        if (n > 0) {
            EXPECT_EQ(s_bells->last_volume(), s_bell_volume);
        }
        return n;
    }
    static std::string command_file() { return read_file(cvx::paths::driver_in()); }

    static inline std::unique_ptr<TempRoot> s_root;
    static inline std::unique_ptr<XServer> s_server;
    static inline Display* s_display = nullptr;
    static inline Mode s_original;
    static inline std::unique_ptr<BellWatcher> s_bells;
    static inline int s_bell_volume = 0;
    Mode mode;
};

TEST_F(Channel, QuestionsAnswerYesAndLeaveOnlyTheCommandFile)
{
    EXPECT_TRUE(isDriverModed(&mode.line, s_display));
    EXPECT_EQ(command_file(), "test");
    EXPECT_TRUE(isHalLoaded(&mode.line, s_display));
    EXPECT_EQ(command_file(), "hal");
    EXPECT_TRUE(isMergedAvailable(&mode.line, s_display));
    EXPECT_EQ(command_file(), "merged");
    EXPECT_EQ(bells(), 0);
    EXPECT_FALSE(exists_no_follow(cvx::paths::driver_out()));
    EXPECT_NE(mode.line.flags & CVX_DRIVER_COMMAND_MARKER, 0u);  // left set in the caller's record

    struct stat st {};
    ASSERT_EQ(stat(cvx::paths::driver_in().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // The server's copy carries no marker once the driver has served it.
    EXPECT_EQ(current_mode(s_display, 0).line.flags & CVX_DRIVER_COMMAND_MARKER, 0u);
}

struct Adjustment {
    const char* name;
    unsigned char (*op)(XF86VidModeModeLine*, Display*);
    const char* command;
    int dhsync, dvsync, dhtotal, dvtotal;  // change of sync position and totals
};

// One step is 8 pixels horizontally and one line vertically; size changes
// keep the refresh rate.
const Adjustment adjustments[] = {
    {"left", moveScreenLeft, "left 1", 8, 0, 0, 0},
    {"right", moveScreenRight, "right 1", -8, 0, 0, 0},
    {"up", moveScreenUp, "up 1", 0, 1, 0, 0},
    {"down", moveScreenDown, "down 1", 0, -1, 0, 0},
    {"wider", resizeScreenWider, "h+ 1", 0, 0, -8, 0},
    {"narrower", resizeScreenNarrower, "h- 1", 0, 0, 8, 0},
    {"taller", resizeScreenTaller, "v+ 1", 0, 0, 0, -1},
    {"shorter", resizeScreenShorter, "v- 1", 0, 0, 0, 1},
};

TEST_F(Channel, EachAdjustmentChangesTheTimingsAndUndoRevertsIt)
{
    for (const Adjustment& a : adjustments) {
        SCOPED_TRACE(a.name);
        const Mode before = current_mode(s_display, 0);
        Mode work = before;
        a.op(&work.line, s_display);
        EXPECT_EQ(command_file(), a.command);
        EXPECT_EQ(bells(), 0);
        EXPECT_FALSE(exists_no_follow(cvx::paths::driver_out()));

        const Mode after = current_mode(s_display, 0);
        EXPECT_EQ(after.line.hdisplay, before.line.hdisplay);
        EXPECT_EQ(after.line.vdisplay, before.line.vdisplay);
        EXPECT_EQ(after.line.hsyncstart, before.line.hsyncstart + a.dhsync);
        EXPECT_EQ(after.line.hsyncend, before.line.hsyncend + a.dhsync);
        EXPECT_EQ(after.line.vsyncstart, before.line.vsyncstart + a.dvsync);
        EXPECT_EQ(after.line.vsyncend, before.line.vsyncend + a.dvsync);
        EXPECT_EQ(after.line.htotal, before.line.htotal + a.dhtotal);
        EXPECT_EQ(after.line.vtotal, before.line.vtotal + a.dvtotal);
        EXPECT_EQ(after.line.flags, before.line.flags);
        EXPECT_EQ(refresh_of(after), refresh_of(before));
        if (a.dhtotal || a.dvtotal) {
            EXPECT_NE(after.clock, before.clock);
        }

        Mode again = after;
        UndoLastChange(&again.line, s_display);
        EXPECT_EQ(command_file(), "undo");
        const Mode undone = current_mode(s_display, 0);
        EXPECT_EQ(undone.clock, before.clock);
        EXPECT_EQ(undone.line.hsyncstart, before.line.hsyncstart);
        EXPECT_EQ(undone.line.hsyncend, before.line.hsyncend);
        EXPECT_EQ(undone.line.htotal, before.line.htotal);
        EXPECT_EQ(undone.line.vsyncstart, before.line.vsyncstart);
        EXPECT_EQ(undone.line.vsyncend, before.line.vsyncend);
        EXPECT_EQ(undone.line.vtotal, before.line.vtotal);
        EXPECT_EQ(bells(), 0);
    }
}

TEST_F(Channel, UndoRevertsChangesInReverseOrder)
{
    std::vector<Mode> history{current_mode(s_display, 0)};
    for (auto op : {moveScreenLeft, moveScreenUp, resizeScreenWider}) {
        Mode m = history.back();
        op(&m.line, s_display);
        history.push_back(current_mode(s_display, 0));
    }
    for (int i = 3; i > 0; --i) {
        Mode m = current_mode(s_display, 0);
        UndoLastChange(&m.line, s_display);
        const Mode now = current_mode(s_display, 0);
        EXPECT_EQ(now.line.hsyncstart, history[i - 1].line.hsyncstart) << i;
        EXPECT_EQ(now.line.vsyncstart, history[i - 1].line.vsyncstart) << i;
        EXPECT_EQ(now.line.htotal, history[i - 1].line.htotal) << i;
        EXPECT_EQ(now.clock, history[i - 1].clock) << i;
    }
    // Nothing left to undo: the driver refuses, the exchange itself succeeded.
    Mode m = current_mode(s_display, 0);
    EXPECT_TRUE(UndoLastChange(&m.line, s_display));
    EXPECT_EQ(current_mode(s_display, 0).line.htotal, history[0].line.htotal);
    EXPECT_EQ(bells(), 0);
}

TEST_F(Channel, RefreshSetsTheRateWithinTheMonitorRanges)
{
    const int target = refresh_of(mode) == 75 ? 70 : 75;
    applyNewRefresh(&mode.line, s_display, target);
    EXPECT_EQ(command_file(), "refresh " + std::to_string(target));
    const Mode after = current_mode(s_display, 0);
    EXPECT_EQ(refresh_of(after), target);
    EXPECT_EQ(after.line.htotal, s_original.line.htotal);
    EXPECT_EQ(bells(), 0);

    // Outside the test monitor's 50-100 Hz: sent, refused by the driver.
    Mode m = after;
    applyNewRefresh(&m.line, s_display, 200);
    EXPECT_EQ(command_file(), "refresh 200");
    EXPECT_EQ(current_mode(s_display, 0).clock, after.clock);
    EXPECT_EQ(bells(), 0);

    m = current_mode(s_display, 0);
    UndoLastChange(&m.line, s_display);
    EXPECT_EQ(current_mode(s_display, 0).clock, s_original.clock);
}

struct Bound {
    const char* name;
    unsigned char (*op)(XF86VidModeModeLine*, Display*);
    const char* command;
    void (*refused)(XF86VidModeModeLine&);
    void (*allowed)(XF86VidModeModeLine&);
    int dhsync, dvsync, dhtotal, dvtotal;  // what the driver then does
};

const Bound bounds[] = {
    {"left", moveScreenLeft, "left 1",
     [](XF86VidModeModeLine& l) { l.htotal = 1344; l.hsyncend = 1336; },
     [](XF86VidModeModeLine& l) { l.htotal = 1344; l.hsyncend = 1335; },
     8, 0, 0, 0},
    {"right", moveScreenRight, "right 1",
     [](XF86VidModeModeLine& l) { l.hsyncstart = l.hdisplay + 8; },
     [](XF86VidModeModeLine& l) { l.hsyncstart = l.hdisplay + 9; },
     -8, 0, 0, 0},
    {"up", moveScreenUp, "up 1",
     [](XF86VidModeModeLine& l) { l.vsyncend = l.vtotal - 8; },
     [](XF86VidModeModeLine& l) { l.vsyncend = l.vtotal - 9; },
     0, 1, 0, 0},
    {"wider", resizeScreenWider, "h+ 1",
     [](XF86VidModeModeLine& l) { l.htotal = 1344; l.hsyncend = 1336; },
     [](XF86VidModeModeLine& l) { l.htotal = 1344; l.hsyncend = 1335; },
     0, 0, -8, 0},
    {"taller", resizeScreenTaller, "v+ 1",
     [](XF86VidModeModeLine& l) { l.vsyncend = l.vtotal - 8; },
     [](XF86VidModeModeLine& l) { l.vsyncend = l.vtotal - 9; },
     0, 0, 0, -1},
    // Down is refused only below the visible area; at the edge the driver
    // refuses instead (sent, no bell, timings kept).
    {"down", moveScreenDown, "down 1",
     [](XF86VidModeModeLine& l) { l.vsyncstart = l.vdisplay - 8; },
     [](XF86VidModeModeLine& l) { l.vsyncstart = l.vdisplay; },
     0, 0, 0, 0},
};

TEST_F(Channel, BoundsRefuseWithABellAndSendNothing)
{
    for (const Bound& b : bounds) {
        SCOPED_TRACE(b.name);
        ASSERT_TRUE(set_mode(s_display, 0, s_original.line));
        ASSERT_TRUE(cvx::driver::write_command_file(cvx::paths::driver_in(), "previous"));
        bells();

        Mode refused = current_mode(s_display, 0);
        b.refused(refused.line);
        EXPECT_FALSE(b.op(&refused.line, s_display));
        EXPECT_EQ(bells(), 1);
        EXPECT_EQ(command_file(), "previous");
        EXPECT_EQ(refused.line.flags & CVX_DRIVER_COMMAND_MARKER, 0u);
        EXPECT_EQ(current_mode(s_display, 0).line.htotal, s_original.line.htotal);  // no request went out

        Mode allowed = current_mode(s_display, 0);
        b.allowed(allowed.line);
        const XF86VidModeModeLine sent = allowed.line;
        EXPECT_TRUE(b.op(&allowed.line, s_display));
        EXPECT_EQ(bells(), 0);
        EXPECT_EQ(command_file(), b.command);
        // The request carried the caller's timings; the driver then moved them.
        const Mode now = current_mode(s_display, 0);
        EXPECT_EQ(now.line.hsyncstart, sent.hsyncstart + b.dhsync);
        EXPECT_EQ(now.line.hsyncend, sent.hsyncend + b.dhsync);
        EXPECT_EQ(now.line.vsyncstart, sent.vsyncstart + b.dvsync);
        EXPECT_EQ(now.line.vsyncend, sent.vsyncend + b.dvsync);
        EXPECT_EQ(now.line.htotal, sent.htotal + b.dhtotal);
        EXPECT_EQ(now.line.vtotal, sent.vtotal + b.dvtotal);
    }
}

TEST_F(Channel, RefusedRequestIsAFailedExchangeNotTheEnd)
{
    // Timings the server rejects (sync before the visible end): an X error.
    Mode bad = mode;
    bad.line.hsyncstart = bad.line.hdisplay - 1;
    char reply[CVX_DRIVER_REPLY_BUFFER] = "stale";
    EXPECT_FALSE(SendCVXCmd("h- 1", reply, &bad.line, s_display));
    EXPECT_STREQ(reply, "");
    EXPECT_FALSE(resizeScreenNarrower(&bad.line, s_display));
    EXPECT_EQ(bells(), 1);
    EXPECT_EQ(current_mode(s_display, 0).line.htotal, s_original.line.htotal);

    // A zeroed record is sent all the same by the always-sent operations.
    XF86VidModeModeLine zero{};
    EXPECT_FALSE(resizeScreenShorter(&zero, s_display));
    EXPECT_FALSE(applyNewRefresh(&zero, s_display, 60));
    EXPECT_EQ(command_file(), "refresh 60");
    EXPECT_EQ(bells(), 2);

    // The connection still works.
    Mode m = current_mode(s_display, 0);
    EXPECT_TRUE(isDriverModed(&m.line, s_display));
}

TEST_F(Channel, PlantedCommandFilesAreNotWrittenThrough)
{
    const std::string in = cvx::paths::driver_in();
    const std::string target = s_root->file("precious");

    struct Plant {
        const char* name;
        void (*make)(const std::string& at, const std::string& target);
    };
    const Plant plants[] = {
        {"symlink", [](const std::string& at, const std::string& t) { ASSERT_EQ(symlink(t.c_str(), at.c_str()), 0); }},
        {"hard link", [](const std::string& at, const std::string& t) { ASSERT_EQ(link(t.c_str(), at.c_str()), 0); }},
        {"other user's file",
         [](const std::string& at, const std::string&) {
             write_file(at, "theirs");
             ASSERT_EQ(chown(at.c_str(), 65534, 65534), 0);
         }},
        {"directory", [](const std::string& at, const std::string&) { ASSERT_EQ(mkdir(at.c_str(), 0700), 0); }},
    };
    for (const Plant& p : plants) {
        SCOPED_TRACE(p.name);
        write_file(target, "precious");
        p.make(in, target);
        Mode m = current_mode(s_display, 0);
        EXPECT_FALSE(isDriverModed(&m.line, s_display));
        EXPECT_FALSE(resizeScreenNarrower(&m.line, s_display));
        EXPECT_EQ(bells(), 2);
        EXPECT_EQ(read_file(target), "precious");
        EXPECT_EQ(m.line.flags & CVX_DRIVER_COMMAND_MARKER, 0u);  // nothing was sent
        EXPECT_EQ(current_mode(s_display, 0).line.htotal, s_original.line.htotal);
        if (std::string(p.name) == "other user's file") {
            EXPECT_EQ(read_file(in), "theirs");
        }
        rmdir(in.c_str());
        unlink(in.c_str());
    }
}

TEST_F(Channel, ALinkPlantedAtTheReplyNameIsNotFollowed)
{
    const std::string target = s_root->file("precious");
    write_file(target, "YES");
    ASSERT_EQ(symlink(target.c_str(), cvx::paths::driver_out().c_str()), 0);
    EXPECT_TRUE(isDriverModed(&mode.line, s_display));
    EXPECT_EQ(read_file(target), "YES");
    EXPECT_FALSE(exists_no_follow(cvx::paths::driver_out()));
    EXPECT_EQ(bells(), 0);
}

TEST_F(Channel, SecondScreenNumberAddressesCurrentScreen)
{
    // The layout has one screen: a request for screen 1 is an X error, and
    // must show as a failed exchange only.
    CurrentScreen = 1;
    EXPECT_FALSE(isDriverModed(&mode.line, s_display));
    EXPECT_EQ(bells(), 1);
    CurrentScreen = 0;
}

// The file steps alone (no server needed).
class ChannelFiles : public ::testing::Test {
protected:
    TempRoot root;
    std::string out = cvx::paths::driver_out();
};

TEST_F(ChannelFiles, ReplyIsReadBoundedKeepingTheLineEndAndThenDeleted)
{
    struct Case {
        std::string content, expected;
    };
    const std::string long_line(1000, 'Y');
    const Case cases[] = {
        {"YES", "YES"},
        {"YES\nsecond line", "YES\n"},
        {"", ""},
        {long_line + "\n", std::string(CVX_DRIVER_REPLY_READ - 1, 'Y')},
    };
    for (const Case& c : cases) {
        write_file(out, c.content);
        // Exactly the guaranteed size, on the heap: an overrun is caught.
        std::vector<char> reply(CVX_DRIVER_REPLY_READ, 'x');
        EXPECT_TRUE(cvx::driver::read_reply_file(out, reply.data(), CVX_DRIVER_REPLY_READ, nullptr));
        EXPECT_EQ(std::string(reply.data()), c.expected);
        EXPECT_FALSE(exists_no_follow(out));
    }
}

TEST_F(ChannelFiles, UntrustedRepliesAreRefusedAndLeftAlone)
{
    const std::string target = root.file("target");
    char reply[CVX_DRIVER_REPLY_BUFFER];

    write_file(target, "YES");
    ASSERT_EQ(symlink(target.c_str(), out.c_str()), 0);
    EXPECT_FALSE(cvx::driver::read_reply_file(out, reply, CVX_DRIVER_REPLY_READ, nullptr));
    EXPECT_TRUE(is_symlink(out));
    EXPECT_EQ(read_file(target), "YES");
    unlink(out.c_str());

    write_file(out, "YES");
    ASSERT_EQ(chown(out.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(cvx::driver::read_reply_file(out, reply, CVX_DRIVER_REPLY_READ, nullptr));
    EXPECT_TRUE(exists_no_follow(out));
    unlink(out.c_str());

    // A FIFO must neither be read nor block the tool.
    ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
    EXPECT_FALSE(cvx::driver::read_reply_file(out, reply, CVX_DRIVER_REPLY_READ, nullptr));
    unlink(out.c_str());

    EXPECT_FALSE(cvx::driver::read_reply_file(out, reply, CVX_DRIVER_REPLY_READ, nullptr));
}

TEST_F(ChannelFiles, CommandFileIsPrivateAndHoldsOnlyTheLastCommand)
{
    const std::string in = cvx::paths::driver_in();
    write_file(in, "a much longer earlier command");
    ASSERT_EQ(chmod(in.c_str(), 0666), 0);
    ASSERT_TRUE(cvx::driver::write_command_file(in, "up 1"));
    EXPECT_EQ(read_file(in), "up 1");
    struct stat st {};
    ASSERT_EQ(stat(in.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    unlink(in.c_str());
    ASSERT_TRUE(cvx::driver::write_command_file(in, "refresh 75"));
    EXPECT_EQ(read_file(in), "refresh 75");
    ASSERT_EQ(stat(in.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    ASSERT_EQ(mkfifo((in + ".fifo").c_str(), 0600), 0);
    EXPECT_FALSE(cvx::driver::write_command_file(in + ".fifo", "x"));
}

TEST_F(ChannelFiles, HalModuleIsPresentOnlyWhenReadable)
{
    EXPECT_FALSE(isHalModulePresent());
    const std::string hal = cvx::paths::hal_module();
    std::filesystem::create_directories(std::filesystem::path(hal).parent_path());
    write_file(hal, "");
    EXPECT_TRUE(isHalModulePresent());
}

}  // namespace
