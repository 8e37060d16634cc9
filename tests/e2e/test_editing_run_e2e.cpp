// Whole editing runs as the administrator makes them: the real program on a
// private X server (two heads under Xinerama, the driver's emulator, a window
// manager), a real-world configuration file, pointer clicks through the
// windows, and then the file on disk and its backup.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/corpus.h"
#include "support/e2e.h"
#include "support/xserver.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

std::unique_ptr<TempRoot> g_root;
std::unique_ptr<XServer> g_server;

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
    std::vector<std::string> out;
    for (const std::string& id : windows_named(title)) {
        const Size got = window_size(id);
        if (std::to_string(got.width) + "x" + std::to_string(got.height) == size)
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

// After one quarter turn display 1 stands above display 2 (120,16 and 120,200).

constexpr const char* kMain = "Corvex Twinscape";
constexpr const char* kMainSize = "634x419";
constexpr const char* kBoxSize = "401x180";

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
        CVX_SKIP_WITHOUT_CORPUS(corpus_dir());
        const std::string source = corpus_dir() + "/43-cvx-dualhead-mixedcase-keywords.conf";
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
        click(open, spot::kOpenOk);
        return wait_window(kMain, kMainSize);
    }

    // Acknowledges the message boxes that are up; returns how many there were.
    static int acknowledge_boxes()
    {
        int n = 0;
        for (std::string box; !(box = wait_window(kMain, kBoxSize, 1000)).empty(); ++n)
            click(box, spot::kMsgBoxOk);
        return n;
    }

    std::string m_config, m_backup, m_original;
};

TEST_F(EditingRun, MultiDisplayTurnedModesAndCustomModeReachTheFileAndTheBackupIsTheOriginal)
{
    Program program("corvex-0525-r80.board", Program::Output::discard);
    const std::string main = open_main();
    ASSERT_FALSE(main.empty()) << "no main window";
    acknowledge_boxes();

    click(main, spot::kRadioMulti);
    // The file's second Screen section is taken as display 2: no "enabled at 640 x 480" notice.
    EXPECT_EQ(acknowledge_boxes(), 0);
    click(main, spot::kInvert);   // LeftOf → Above
    screenshot(g_server->display(), "e2e_multi_above");

    // Display 2 was not running when the file was opened: its Adjust button only explains.
    click(main, spot::kAdjustBelow);
    EXPECT_EQ(acknowledge_boxes(), 1);
    EXPECT_TRUE(windows("Corvex Twinscape - Monitor Settings", "376x362").empty());

    // Display 2: the first resolution and 8-bit.
    click(main, spot::kDisplayBelow);
    const std::string modes = wait_window("Corvex Twinscape - Display Modes", "437x422");
    ASSERT_FALSE(modes.empty()) << "no display modes dialog";
    click(modes, spot::kFirstListRow);
    click(modes, spot::kRadio8);
    click(modes, spot::kResolutionsOk);
    EXPECT_TRUE(eventually([&] { return windows("Corvex Twinscape - Display Modes", "437x422").empty(); }));

    // Display 1, live: wider, then kept as a custom mode.
    click(main, spot::kAdjustAbove);
    const std::string adjust = wait_window("Corvex Twinscape - Monitor Settings", "376x362");
    ASSERT_FALSE(adjust.empty()) << "no monitor settings window";
    acknowledge_boxes();
    click(adjust, spot::kWider);
    click(adjust, spot::kAdjustOk);
    const std::string save = wait_window("Corvex Twinscape - Save Settings", "350x192");
    ASSERT_FALSE(save.empty()) << "no save dialog after a change";
    click(save, spot::kSaveYes);
    EXPECT_TRUE(eventually([&] { return windows("Corvex Twinscape - Monitor Settings", "376x362").empty(); }));
    // Nothing is on disk before Save and Exit.
    EXPECT_EQ(read_file(m_config), m_original);

    click(main, spot::kSaveAndExit);
    const std::string done = wait_window(kMain, kBoxSize);
    ASSERT_FALSE(done.empty()) << "no message box after Save and Exit";
    screenshot(g_server->display(), "e2e_saved");
    EXPECT_EQ(program.wait_exit(500), -1) << "ended before the box was acknowledged";
    click(done, spot::kMsgBoxOk);
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
    Program program("corvex-0525-r80.board", Program::Output::discard);
    const std::string main = open_main();
    ASSERT_FALSE(main.empty()) << "no main window";
    acknowledge_boxes();
    click(main, spot::kRadioMulti);
    acknowledge_boxes();
    click(main, spot::kInvert);
    click(main, spot::kExit);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(read_file(m_config), m_original);
    EXPECT_FALSE(fs::exists(m_backup));
}

// The same edits typed as `xf86conf set` and clicked in the windows give the
// same file, byte for byte: the command goes through the functions the
// windows call. The board's address is what the program writes after its
// probe (bus 1, device 0 for both boards used here).
constexpr const char* kBoardAddress = "PCI:1:0:0";

class SameBytes : public EditingRun {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_server);
        m_config = g_root->file("etc/X11/xorg.conf");
        m_backup = m_config + "_CVX-BACKUP";
        fs::create_directories(fs::path(m_config).parent_path());
        fs::remove(g_root->file("tmp/cvxscape.lock"));
        m_original = read_file(source_dir() + "/scripts/demo.conf");
        ASSERT_FALSE(m_original.empty());
    }

    void start_from(const std::string& text)
    {
        std::ofstream(m_config, std::ios::binary | std::ios::trunc) << text;
        fs::remove(m_backup);
    }

    // A whole run: the main window, `clicks`, Save and Exit; the saved file.
    std::string clicked(const std::string& start, const char* board, const std::function<void(const std::string&)>& clicks)
    {
        start_from(start);
        Program program(board, Program::Output::discard);
        const std::string main = open_main();
        if (main.empty()) {
            ADD_FAILURE() << "no main window";
            return {};
        }
        acknowledge_boxes();
        clicks(main);
        acknowledge_boxes();
        click(main, spot::kSaveAndExit);
        const std::string done = wait_window(kMain, kBoxSize);
        EXPECT_FALSE(done.empty()) << "no message box after Save and Exit";
        if (!done.empty())
            click(done, spot::kMsgBoxOk);
        EXPECT_EQ(program.wait_exit(), 0);
        return read_file(m_config);
    }

    // The same from the command line; the file it leaves.
    std::string typed(const std::string& start, const std::string& edits)
    {
        start_from(start);
        const std::string out = sh("'" + build_dir() + "/src/xf86conf/xf86conf' set '" + m_config + "' " + edits +
                                   " --busid " + kBoardAddress + " 2>&1; echo \"status $?\"");
        EXPECT_NE(out.find("status 0"), std::string::npos) << edits << "\n" << out;
        return read_file(m_config);
    }

    // Display 1's modes dialog: `clicks` in it, then OK.
    void in_display1_dialog(const std::string& main, const std::function<void(const std::string&)>& clicks)
    {
        click(main, spot::kResolution1);
        const std::string modes = wait_window("Corvex Twinscape - Display Modes", "437x422");
        ASSERT_FALSE(modes.empty()) << "no display modes dialog";
        clicks(modes);
        click(modes, spot::kResolutionsOk);
        EXPECT_TRUE(eventually([&] { return windows("Corvex Twinscape - Display Modes", "437x422").empty(); }));
    }
};

TEST_F(SameBytes, EveryDisplayModeAsTheMainWindowSavesIt)
{
    const struct { const char* mode; Spot radio; } runs[] = {
        {"multi", spot::kRadioMulti}, {"clone", spot::kRadioClone}, {"merged", spot::kRadioMerged}};
    std::string multi;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.mode);
        const std::string byClicks = clicked(m_original, "corvex-0525-r80.board",
                                             [&](const std::string& main) { click(main, run.radio); });
        EXPECT_NE(byClicks, m_original);
        EXPECT_EQ(typed(m_original, std::string("--mode ") + run.mode), byClicks);
        if (std::string(run.mode) == "multi")
            multi = byClicks;
    }
    // Back to a single display from the two-display file.
    ASSERT_FALSE(multi.empty());
    const std::string byClicks = clicked(multi, "corvex-0525-r80.board",
                                         [&](const std::string& main) { click(main, spot::kRadioOff); });
    EXPECT_NE(byClicks, multi);
    EXPECT_EQ(typed(multi, "--mode single"), byClicks);
}

TEST_F(SameBytes, DepthAndModesAsTheDisplayModesDialogSavesThem)
{
    // 16 bits, and 640x480 added to the three modes; the list is ordered
    // larger to smaller by default.
    const std::string byClicks = clicked(m_original, "corvex-0525-r80.board", [&](const std::string& main) {
        in_display1_dialog(main, [](const std::string& modes) {
            click(modes, spot::kRadio16);
            click(modes, spot::kFirstListRow);
        });
    });
    EXPECT_NE(byClicks.find("\"640x480\""), std::string::npos) << byClicks;
    EXPECT_EQ(typed(m_original, "--depth 1=16 --modes 1=1280x1024,1024x768,800x600,640x480"), byClicks);
}

TEST_F(SameBytes, OutputTypeAsTheDisplayModesDialogSavesIt)
{
    // OK in the dialog also writes its depth and modes as they stand.
    const std::string byClicks = clicked(m_original, "corvex-0525-r7f.board", [&](const std::string& main) {
        in_display1_dialog(main, [](const std::string& modes) { click(modes, spot::kRadioPAL); });
    });
    EXPECT_NE(byClicks.find("\"TVStandard\" \"PAL\""), std::string::npos) << byClicks;
    EXPECT_EQ(typed(m_original, "--depth 1=24 --modes 1=1280x1024,1024x768,800x600 --output 1=tv-pal"), byClicks);
}

}  // namespace

int main(int argc, char** argv)
{
    XServerOptions options;
    options.layout = "xinerama";
    options.driver_emulator = true;
    options.window_manager = true;
    return run_tests_on_x_server(argc, argv, options, g_root, g_server);
}
