// Whole editing runs as the administrator makes them: the real program on a
// private X server (two heads under Xinerama, the driver's emulator, a window
// manager), a real-world configuration file, pointer clicks through the
// windows, and then the file on disk and its backup.
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

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The value after each occurrence of the keyword, in file order.
std::vector<std::string> values_of(const std::string& text, const std::string& keyword)
{
    std::vector<std::string> out;
    for (size_t at = text.find(keyword); at != std::string::npos; at = text.find(keyword, at + 1)) {
        std::istringstream rest(text.substr(at + keyword.size(), 40));
        std::string value;
        rest >> value;
        out.push_back(value);
    }
    return out;
}

// Visible windows with this exact title and this size ("WxH").
std::vector<std::string> windows(const std::string& title, const std::string& size)
{
    std::istringstream ids(sh("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
    std::vector<std::string> out;
    for (std::string id; ids >> id;) {
        int w = 0, h = 0;
        std::istringstream geo(sh("xdotool getwindowgeometry --shell " + id + " 2>/dev/null"));
        for (std::string line; std::getline(geo, line);) {
            if (line.rfind("WIDTH=", 0) == 0)
                w = std::atoi(line.c_str() + 6);
            if (line.rfind("HEIGHT=", 0) == 0)
                h = std::atoi(line.c_str() + 7);
        }
        if (std::to_string(w) + "x" + std::to_string(h) == size)
            out.push_back(id);
    }
    return out;
}

// Waits for one such window; empty when none came.
std::string wait_window(const std::string& title, const std::string& size, int timeout_ms = 20000)
{
    std::string id;
    eventually([&] {
        auto w = windows(title, size);
        id = w.empty() ? "" : w.front();
        return !id.empty();
    }, timeout_ms);
    return id;
}

void click_at(const std::string& window, int x, int y)
{
    sh("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
       " click 1 2>/dev/null");
    sh("xdotool sleep 0.4");
}

// Centres of what the runs click: positions and sizes of the windows' layouts.
struct Spot { int x, y; };
constexpr Spot kOpenOk{296 + 31, 192 + 12};
constexpr Spot kMsgBoxOk{160 + 44, 136 + 16};
constexpr Spot kRadioMulti{392 + 20, 96 + 12};
constexpr Spot kInvert{144 + 24, 144 + 20};
// After one quarter turn display 1 stands above display 2 (120,16 and 120,200).
constexpr Spot kAdjust1Above{120 + 48, 104 + 12};
constexpr Spot kDisplay2Below{120 + 48, 200 + 44};
constexpr Spot kAdjust2Below{120 + 48, 288 + 12};
constexpr Spot kSaveAndExit{440 + 52, 376 + 16};
constexpr Spot kExit{312 + 52, 376 + 16};
constexpr Spot kFirstListRow{60, 64};
constexpr Spot kRadio8{256 + 20, 40 + 12};
constexpr Spot kResolutionsOk{336 + 40, 384 + 12};
constexpr Spot kWider{216 + 28, 248 + 16};
constexpr Spot kAdjustOk{56 + 44, 320 + 12};
constexpr Spot kSaveYes{16 + 40, 136 + 16};

constexpr const char* kMain = "Corvex Twinscape";
constexpr const char* kMainSize = "634x419";
constexpr const char* kBoxSize = "401x180";

// The program under the test root, with the r80 board.
class Program {
public:
    Program()
    {
        m_pid = fork();
        if (m_pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            setenv("CVXSCAPE_BOARD", (source_dir() + "/emulation/boards/corvex-0525-r80.board").c_str(), 1);
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

    // The exit status, or -1 when it has not ended in time.
    int wait_exit(int timeout_ms = 20000)
    {
        eventually([&] {
            int status = 0;
            if (!m_done && waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_done = true;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            return m_done;
        }, timeout_ms);
        return m_done ? m_status : -1;
    }

private:
    pid_t m_pid = -1;
    bool m_done = false;
    int m_status = -1;
};

class EditingRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_server);
        m_config = g_root->file("etc/X11/xorg.conf");
        m_backup = m_config + "_CVX-BACKUP";
        fs::create_directories(fs::path(m_config).parent_path());
        fs::remove(m_backup);
        fs::remove(g_root->file("tmp/cvxscape.lock"));
        const std::string source = shared_dir() + "/corpus/xorg-conf/43-cvx-dualhead-mixedcase-keywords.conf";
        m_original = read_file(source);
        ASSERT_FALSE(m_original.empty()) << source;
        std::ofstream(m_config, std::ios::binary) << m_original;
    }

    // Accepts the proposed paths and waits for the main window.
    std::string open_main()
    {
        const std::string open = wait_window("Corvex Twinscape - Configuration File", "391x235");
        EXPECT_FALSE(open.empty()) << "no configuration-file window";
        if (open.empty())
            return {};
        click_at(open, kOpenOk.x, kOpenOk.y);
        return wait_window(kMain, kMainSize);
    }

    // Acknowledges the message boxes that are up; returns how many there were.
    static int acknowledge_boxes()
    {
        int n = 0;
        for (std::string box; !(box = wait_window(kMain, kBoxSize, 1000)).empty(); ++n)
            click_at(box, kMsgBoxOk.x, kMsgBoxOk.y);
        return n;
    }

    std::string m_config, m_backup, m_original;
};

TEST_F(EditingRun, MultiDisplayTurnedModesAndCustomModeReachTheFileAndTheBackupIsTheOriginal)
{
    Program program;
    const std::string main = open_main();
    ASSERT_FALSE(main.empty()) << "no main window";
    acknowledge_boxes();

    click_at(main, kRadioMulti.x, kRadioMulti.y);
    // The file's second Screen section is taken as display 2: no "enabled at 640 x 480" notice.
    EXPECT_EQ(acknowledge_boxes(), 0);
    click_at(main, kInvert.x, kInvert.y);   // LeftOf → Above
    screenshot(g_server->display(), "e2e_multi_above");

    // Display 2 was not running when the file was opened: its Adjust button only explains.
    click_at(main, kAdjust2Below.x, kAdjust2Below.y);
    EXPECT_TRUE(windows("Corvex Twinscape - Monitor Settings", "376x362").empty());
    EXPECT_EQ(acknowledge_boxes(), 1);

    // Display 2: the first resolution and 8-bit.
    click_at(main, kDisplay2Below.x, kDisplay2Below.y);
    const std::string modes = wait_window("Corvex Twinscape - Display Modes", "437x422");
    ASSERT_FALSE(modes.empty()) << "no display modes dialog";
    click_at(modes, kFirstListRow.x, kFirstListRow.y);
    click_at(modes, kRadio8.x, kRadio8.y);
    click_at(modes, kResolutionsOk.x, kResolutionsOk.y);
    EXPECT_TRUE(eventually([&] { return windows("Corvex Twinscape - Display Modes", "437x422").empty(); }));

    // Display 1, live: wider, then kept as a custom mode.
    click_at(main, kAdjust1Above.x, kAdjust1Above.y);
    const std::string adjust = wait_window("Corvex Twinscape - Monitor Settings", "376x362");
    ASSERT_FALSE(adjust.empty()) << "no monitor settings window";
    acknowledge_boxes();
    click_at(adjust, kWider.x, kWider.y);
    click_at(adjust, kAdjustOk.x, kAdjustOk.y);
    const std::string save = wait_window("Corvex Twinscape - Save Settings", "350x192");
    ASSERT_FALSE(save.empty()) << "no save dialog after a change";
    click_at(save, kSaveYes.x, kSaveYes.y);
    EXPECT_TRUE(eventually([&] { return windows("Corvex Twinscape - Monitor Settings", "376x362").empty(); }));
    // Nothing is on disk before Save and Exit.
    EXPECT_EQ(read_file(m_config), m_original);

    click_at(main, kSaveAndExit.x, kSaveAndExit.y);
    const std::string done = wait_window(kMain, kBoxSize);
    ASSERT_FALSE(done.empty()) << "no message box after Save and Exit";
    screenshot(g_server->display(), "e2e_saved");
    EXPECT_EQ(program.wait_exit(500), -1) << "ended before the box was acknowledged";
    click_at(done, kMsgBoxOk.x, kMsgBoxOk.y);
    EXPECT_EQ(program.wait_exit(), 0);

    EXPECT_EQ(read_file(m_backup), m_original) << "the backup must be the file as it was";
    const std::string saved = read_file(m_config);
    EXPECT_NE(saved.find("\"Corvex Twinscape configured.\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"Display 1\" Above \"Display 2\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("Option       \"Xinerama\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("Hz:0\""), std::string::npos) << "no custom ModeLine\n" << saved;
    EXPECT_NE(saved.find("\"640x480\""), std::string::npos) << saved;
    // 8-bit chosen in PairView mode applies to both displays.
    EXPECT_EQ(values_of(saved, "DefaultDepth"), (std::vector<std::string>{"8", "8"})) << saved;
    // What the run did not touch keeps its own spelling and layout.
    for (const char* kept : {"\tBoardname\t\"Corvex C450 Duo\"\n", "\tVendorname\t\"Corvex\"\n",
                             "#\tScreen 1 \"Screen1\" rightof \"Screen0\"\n"})
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\n" << saved;
    EXPECT_EQ(saved.find("PCI:1:5:0"), std::string::npos) << "BusID not set to the board's address\n" << saved;
}

TEST_F(EditingRun, ExitAfterEditsLeavesTheFileAloneAndMakesNoBackup)
{
    Program program;
    const std::string main = open_main();
    ASSERT_FALSE(main.empty()) << "no main window";
    acknowledge_boxes();
    click_at(main, kRadioMulti.x, kRadioMulti.y);
    acknowledge_boxes();
    click_at(main, kInvert.x, kInvert.y);
    click_at(main, kExit.x, kExit.y);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(m_config), m_original);
    EXPECT_FALSE(fs::exists(m_backup));
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_root = std::make_unique<TempRoot>();
    try {
        XServerOptions options;
        options.layout = "xinerama";
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
