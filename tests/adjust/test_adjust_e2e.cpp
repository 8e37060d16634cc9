// A live adjustment stored as a custom mode, as an administrator does it: the
// real program on a private X server with the emulated board and driver, real
// pointer clicks and keys (xdotool) at the widgets' positions, and the file
// on disk afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "config/config.h"
#pragma GCC diagnostic pop
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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

std::vector<std::string> windows_named(const std::string& title)
{
    std::istringstream ids(sh("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
    std::vector<std::string> out;
    for (std::string id; ids >> id;)
        out.push_back(id);
    return out;
}

std::string wait_for_window(const std::string& title, const std::vector<std::string>& except = {})
{
    std::string found;
    eventually([&] {
        for (const std::string& id : windows_named(title)) {
            if (std::find(except.begin(), except.end(), id) == except.end()) {
                found = id;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool window_gone(const std::string& id)
{
    return eventually([&] {
        const auto ids = windows_named(".*");
        return std::find(ids.begin(), ids.end(), id) == ids.end();
    }, 10000);
}

void click_at(const std::string& window, int x, int y)
{
    sh("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
       " click 1 2>/dev/null");
    sh("xdotool sleep 0.3");
}

// A real key press (XTEST) to the window that has the focus.
void key(const std::string& name)
{
    sh("xdotool key " + name + " 2>/dev/null");
    sh("xdotool sleep 0.3");
}

// Centres of the widgets the run clicks (positions and sizes of the layouts).
struct Spot { int x, y; };
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

class Program {
public:
    Program()
    {
        m_pid = fork();
        if (m_pid == 0) {
            const std::string board = source_dir() + "/emulation/boards/corvex-0525-r80.board";
            setenv("CVXSCAPE_BOARD", board.c_str(), 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            const std::string binary = build_dir() + "/src/app/cvxscape";
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Program()
    {
        if (m_pid > 0 && !m_done) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    int wait_exit(int timeout_ms = 20000)
    {
        int status = 0;
        const bool ended = eventually([&] {
            if (m_done)
                return true;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_done = true;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            return m_done;
        }, timeout_ms);
        return ended ? m_status : -1;
    }

private:
    pid_t m_pid = -1;
    bool m_done = false;
    int m_status = -1;
};

// The real X server reads the file: it gets as far as loading the board's
// driver (missing here), which it only does after a clean parse.
bool xorg_parses(const std::string& file, std::string& log_text)
{
    const std::string dir = g_root->file("xorg-check");
    fs::create_directories(dir + "/configdir");
    const std::string log = dir + "/Xorg.log";
    fs::remove(log);
    sh("timeout 30 /usr/lib/xorg/Xorg -displayfd 9 -config '" + file + "' -configdir '" + dir +
       "/configdir' -logfile '" + log + "' -noreset -nolisten tcp -novtswitch 9>/dev/null </dev/null >/dev/null 2>&1");
    log_text = read_file(log);
    return log_text.find("Using config file") != std::string::npos &&
           log_text.find("Problem parsing") == std::string::npos &&
           log_text.find("Failed to load module \"cvx\"") != std::string::npos;
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
    EXPECT_TRUE(xorg_parses(config, log)) << log;
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
