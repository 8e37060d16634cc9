// The probe's ends as the administrator meets them: the real program on a
// private X server with an emulated board, driven with pointer clicks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

std::string sh(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return {};
    std::string out;
    char chunk[256];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
        out.append(chunk, n);
    return out;
}

bool eventually(const std::function<bool()>& pred, int timeout_ms = 20000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

struct Win {
    std::string id;
    int width = 0;
};

std::vector<Win> windows_named(const std::string& title)
{
    std::istringstream ids(sh("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
    std::vector<Win> out;
    for (std::string id; ids >> id;) {
        Win w{id};
        std::istringstream geo(sh("xdotool getwindowgeometry --shell " + id + " 2>/dev/null"));
        for (std::string line; std::getline(geo, line);)
            if (line.rfind("WIDTH=", 0) == 0)
                w.width = std::atoi(line.c_str() + 6);
        out.push_back(w);
    }
    return out;
}

void click_at(const std::string& window, int x, int y)
{
    sh("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
       " click 1 2>/dev/null");
    sh("xdotool sleep 0.3");
}

// Centres of the buttons clicked (the layouts' positions and sizes).
struct Spot { int x, y; };
constexpr Spot kOpenOk{296 + 31, 192 + 12};
constexpr Spot kMsgBoxOk{160 + 44, 136 + 16};
constexpr Spot kInformation{424 + 60, 312 + 12};
// The message box is 401 pixels wide, the main window well over 500.
constexpr int kMainWindowMinWidth = 500;

// The program with the given board file, its standard output in a pipe.
class Program {
public:
    explicit Program(const std::string& board)
    {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            setenv("CVXSCAPE_BOARD", (source_dir() + "/emulation/boards/" + board).c_str(), 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            const std::string binary = build_dir() + "/src/app/cvxscape";
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        m_out = fds[0];
        fcntl(m_out, F_SETFL, O_NONBLOCK);
    }
    ~Program()
    {
        if (m_pid > 0 && !m_done) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            close(m_out);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The exit status (255 for exit(-1)), or -1 when it has not ended in time.
    int wait_exit(int timeout_ms = 20000)
    {
        eventually([&] {
            drain();
            int status = 0;
            if (!m_done && waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_done = true;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            return m_done;
        }, timeout_ms);
        drain();
        return m_done ? m_status : -1;
    }
    const std::string& out() { drain(); return m_text; }

private:
    void drain()
    {
        char buf[512];
        ssize_t n;
        while ((n = read(m_out, buf, sizeof buf)) > 0)
            m_text.append(buf, static_cast<size_t>(n));
    }
    pid_t m_pid = -1;
    int m_out = -1;
    bool m_done = false;
    int m_status = -1;
    std::string m_text;
};

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
            auto w = windows_named("Corvex Twinscape - Configuration File");
            open = w.empty() ? "" : w.front().id;
            return !open.empty();
        });
        ASSERT_FALSE(open.empty()) << "no configuration-file window";
        click_at(open, kOpenOk.x, kOpenOk.y);
    }

    // The message boxes now shown (windows titled like the main window but
    // of a box's size).
    static std::vector<std::string> boxes()
    {
        std::vector<std::string> ids;
        for (const Win& w : windows_named("Corvex Twinscape"))
            if (w.width < kMainWindowMinWidth)
                ids.push_back(w.id);
        return ids;
    }

    static constexpr const char* kConfig = R"(Section "Device"
    Identifier "Card0"
    Driver "cvx"
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
        Modes "1024x768"
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "Layout0"
    Screen "Screen0"
EndSection
)";
};

TEST_F(ProbeEnds, WithoutPortPrivilegeTheProgramEndsWithStatusOne)
{
    Program program("not-root.board");
    press_open_ok();
    EXPECT_EQ(program.wait_exit(), 1);
    EXPECT_TRUE(ends_with(program.out(), " You must be ROOT! \n\n")) << program.out();
    // The server is left usable: a second run gets as far as its first window.
    Program again("no-board.board");
    press_open_ok();
    EXPECT_TRUE(eventually([] { return !boxes().empty(); })) << "no message box in the second run";
}

TEST_F(ProbeEnds, WithoutTheBoardTheHardwareBoxEndsTheProgram)
{
    Program program("no-board.board");
    press_open_ok();
    std::vector<std::string> shown;
    ASSERT_TRUE(eventually([&] { return !(shown = boxes()).empty(); })) << "no message box";
    screenshot(g_server->display(), "hw_e2e_no_board");
    EXPECT_EQ(program.wait_exit(500), -1) << "ended before the box was acknowledged";
    click_at(shown.front(), kMsgBoxOk.x, kMsgBoxOk.y);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(program.out().find("ROOT"), std::string::npos) << program.out();
}

TEST_F(ProbeEnds, AnUnopenableMemoryDeviceEndsTheProgramFromTheInformationWindow)
{
    Program program("no-devmem.board");
    press_open_ok();
    std::string main;
    ASSERT_TRUE(eventually([&] {
        for (const Win& w : windows_named("Corvex Twinscape"))
            if (w.width >= kMainWindowMinWidth)
                main = w.id;
        return !main.empty();
    })) << "no main window";
    // The driver is absent here, so the main window warns first.
    sh("xdotool sleep 0.5");
    for (int i = 0; i < 5; ++i) {
        std::vector<std::string> b = boxes();
        if (b.empty())
            break;
        click_at(b.front(), kMsgBoxOk.x, kMsgBoxOk.y);
    }
    click_at(main, kInformation.x, kInformation.y);
    EXPECT_EQ(program.wait_exit(), 255);
    EXPECT_TRUE(ends_with(program.out(), "open Error - Quiting \n")) << program.out();
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_root = std::make_unique<TempRoot>();
    try {
        g_server = std::make_unique<XServer>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no test X server: %s\n", e.what());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    g_server.reset();
    g_root.reset();
    return result;
}
