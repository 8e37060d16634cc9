// The probe's ends as the administrator meets them: the real program on a
// private X server with an emulated board, driven with pointer clicks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

struct Win {
    std::string id;
    int width = 0;
};

std::vector<Win> windows_with_width(const std::string& title)
{
    std::vector<Win> out;
    for (const std::string& id : windows_named(title))
        out.push_back(Win{id, window_size(id).width});
    return out;
}

// The message box is 401 pixels wide, the main window well over 500.
constexpr int kMainWindowMinWidth = 500;

bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class ProbeEnds : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_server);
        const std::string config = g_root->file("etc/X11/xorg.conf");
        fs::create_directories(fs::path(config).parent_path());
        std::ofstream(config) << kConfig;
        fs::remove(g_root->file("tmp/cvxscape.lock"));
    }

    // Accepts the proposed paths in the configuration-file window.
    static void press_open_ok()
    {
        std::string open;
        eventually([&] {
            auto w = windows_with_width("Corvex Twinscape - Configuration File");
            open = w.empty() ? "" : w.front().id;
            return !open.empty();
        });
        ASSERT_FALSE(open.empty()) << "no configuration-file window";
        click(open, spot::kOpenOk);
    }

    // The message boxes now shown (windows titled like the main window but
    // of a box's size).
    static std::vector<std::string> boxes()
    {
        std::vector<std::string> ids;
        for (const Win& w : windows_with_width("Corvex Twinscape"))
            if (w.width < kMainWindowMinWidth)
                ids.push_back(w.id);
        return ids;
    }

    inline static const std::string kConfig = fixture("probe-single.conf");
};

TEST_F(ProbeEnds, WithoutPortPrivilegeTheProgramEndsWithStatusOne)
{
    Program program("not-root.board", Program::Output::capture);
    press_open_ok();
    EXPECT_EQ(program.wait_exit(), 1);
    EXPECT_TRUE(ends_with(program.out(), " You must be ROOT! \n\n")) << program.out();
    // The server is left usable: a second run gets as far as its first window.
    Program again("no-board.board", Program::Output::capture);
    press_open_ok();
    EXPECT_TRUE(eventually([] { return !boxes().empty(); })) << "no message box in the second run";
}

TEST_F(ProbeEnds, WithoutTheBoardTheHardwareBoxEndsTheProgram)
{
    Program program("no-board.board", Program::Output::capture);
    press_open_ok();
    std::vector<std::string> shown;
    ASSERT_TRUE(eventually([&] { return !(shown = boxes()).empty(); })) << "no message box";
    screenshot(g_server->display(), "hw_e2e_no_board");
    EXPECT_EQ(program.wait_exit(500), -1) << "ended before the box was acknowledged";
    click(shown.front(), spot::kMsgBoxOk);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(program.out().find("ROOT"), std::string::npos) << program.out();
}

TEST_F(ProbeEnds, AnUnopenableMemoryDeviceEndsTheProgramFromTheInformationWindow)
{
    Program program("no-devmem.board", Program::Output::capture);
    press_open_ok();
    std::string main;
    ASSERT_TRUE(eventually([&] {
        for (const Win& w : windows_with_width("Corvex Twinscape"))
            if (w.width >= kMainWindowMinWidth)
                main = w.id;
        return !main.empty();
    })) << "no main window";
    // The driver is absent here, so the main window warns first (one box).
    std::vector<std::string> warned;
    ASSERT_TRUE(eventually([&] { return !(warned = boxes()).empty(); })) << "no warning";
    click(warned.front(), spot::kMsgBoxOk);
    EXPECT_TRUE(window_gone(warned.front()));
    click(main, spot::kInformation);
    EXPECT_EQ(program.wait_exit(), 255);
    EXPECT_TRUE(ends_with(program.out(), "open Error - Quiting \n")) << program.out();
}

}  // namespace

int main(int argc, char** argv)
{
    XServerOptions options;
    return run_tests_on_x_server(argc, argv, options, g_root, g_server);
}
