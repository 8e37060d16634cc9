// The probe as the configuration-file window's OK button meets it: with the
// emulated boards, under a private X server.
// GoogleTest first: Xlib's macros (None, Bool) break its templates.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

// XF86SectionKind::Screen shadows Xlib's Screen type once both are seen.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "config/config.h"
#pragma GCC diagnostic pop
#include "hw/probe.h"
#include "shell/globals.h"
#include "shell/paths.h"
#include "shell/startup.h"
#include "shell/support.h"
#include "support/xserver.h"
#include "windows/windows.h"

namespace {

std::unique_ptr<cvx::test::TempRoot> g_root;
std::unique_ptr<cvx::test::XServer> g_server;

const char* const kConfig = R"(Section "Device"
  Identifier "CORVEX CARD 1"
  Driver "cvx"
  BusID "PCI:9:9:0"
EndSection
Section "Monitor"
  Identifier "Display 1"
  HorizSync 30-70
  VertRefresh 50-75
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
  Identifier "Layout"
  Screen "Display 1"
EndSection
)";

class ProbeWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        config_path = g_root->file("XF86Config");
        std::ofstream(config_path) << kConfig;
        device_info[1] = 0;
        device_info[2] = 0;
    }
    void TearDown() override
    {
        for (GtkWidget** w : {&wdgWinMsgbox, &wdgWinCentral, &wdgWinOpen})
            if (*w) {
                gtk_widget_destroy(*w);
                *w = nullptr;
            }
        cvx::test::pump_events();
        if (pXF86Config)
            xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
        mustExit = 0;
        unsetenv("CVXSCAPE_BOARD");
    }

    // Opens the configuration-file window on our file and presses Ok.
    void press_ok_with_board(const char* board)
    {
        setenv("CVXSCAPE_BOARD", (std::string(CVX_BOARDS_DIR) + "/" + board).c_str(), 1);
        GtkWidget* open = create_winOpen();
        set_window_back(open, lookup_widget(open, "fixed5"));
        gtk_widget_show(open);
        cvx::test::pump_events();
        gtk_entry_set_text(GTK_ENTRY(lookup_widget(open, "entryConfig")), config_path.c_str());
        gtk_entry_set_text(GTK_ENTRY(lookup_widget(open, "entryBackup")), (config_path + ".bak").c_str());
        gtk_button_clicked(GTK_BUTTON(lookup_widget(open, "buttonOkOpenConfig")));
        cvx::test::pump_events();
    }

    static std::string box_text()
    {
        if (!wdgWinMsgbox)
            return "";
        GtkWidget* label = lookup_widget(wdgWinMsgbox, "lblMsgBox");
        return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
    }

    // The BusID values of the tree as written.
    static std::vector<std::string> bus_ids()
    {
        std::vector<std::string> ids;
        std::istringstream in(xf86writeConfigText(pXF86Config));
        std::string line;
        while (std::getline(in, line)) {
            size_t at = line.find("BusID");
            size_t q = line.find('"', at == std::string::npos ? line.size() : at);
            size_t e = q == std::string::npos ? q : line.find('"', q + 1);
            if (e != std::string::npos)
                ids.push_back(line.substr(q + 1, e - q - 1));
        }
        return ids;
    }

    std::string config_path;
};

TEST_F(ProbeWindowTest, NoBoardEndsTheProgramAfterTheHardwareMessage)
{
    press_ok_with_board("no-board.board");
    EXPECT_EQ(wdgWinOpen, nullptr);
    EXPECT_EQ(wdgWinCentral, nullptr);
    ASSERT_NE(wdgWinMsgbox, nullptr);
    EXPECT_EQ(box_text(), "ERROR: Your graphics hardware is not supported by this version of Corvex Twinscape.");
    EXPECT_EQ(device_info[1], 0u);
    cvx::test::screenshot(g_server->display(), "hw_no_board_message");

    // Acknowledging the box leaves the main loop; a timer stands guard so a
    // box that does not end the program fails instead of hanging.
    struct Run {
        bool timed_out = false;
    } run;
    g_idle_add(
        [](gpointer) -> gboolean {
            gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinMsgbox, "buttonOKMsgBox")));
            return G_SOURCE_REMOVE;
        },
        nullptr);
    guint guard = g_timeout_add(
        5000,
        [](gpointer data) -> gboolean {
            static_cast<Run*>(data)->timed_out = true;
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        },
        &run);
    gtk_main();
    if (!run.timed_out)
        g_source_remove(guard);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(wdgWinMsgbox, nullptr);
}

TEST_F(ProbeWindowTest, SupportedBoardGoesOnWithItsIdentityAndAddress)
{
    press_ok_with_board("corvex-0525-r80.board");
    EXPECT_EQ(wdgWinOpen, nullptr);
    ASSERT_NE(wdgWinCentral, nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(wdgWinCentral));
    EXPECT_NE(box_text(), "ERROR: Your graphics hardware is not supported by this version of Corvex Twinscape.");
    EXPECT_EQ(device_info[1], 0x0525u);
    EXPECT_EQ(device_info[2] & 0xFF, 0x80u);
    ASSERT_NE(pXF86Config, nullptr);
    EXPECT_EQ(bus_ids(), std::vector<std::string>{"PCI:1:0:0"});
    cvx::test::screenshot(g_server->display(), "hw_supported_board_main_window");

    // The information window's line reads the ROM of the same board.
    char bios[50] = {};
    DisplayBiosVersion(bios, sizeof bios);
    EXPECT_STREQ(bios, "4.2 - 7");
}

TEST_F(ProbeWindowTest, BoardOnBusZeroIsWrittenWithItsDevice)
{
    press_ok_with_board("corvex-0520.board");
    ASSERT_NE(wdgWinCentral, nullptr);
    EXPECT_EQ(device_info[1], 0x0520u);
    EXPECT_EQ(device_info[2] & 0xFF, 0x03u);
    EXPECT_EQ(bus_ids(), std::vector<std::string>{"PCI:0:10:0"});
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_root = std::make_unique<cvx::test::TempRoot>();
    try {
        g_server = std::make_unique<cvx::test::XServer>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no test X server: %s\n", e.what());
        return 1;
    }
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "the toolkit cannot open %s\n", g_server->display().c_str());
        return 1;
    }
    pDisp = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    for (const std::string& dir : cvx::paths::pixmap_dirs())
        add_pixmap_directory(dir.c_str());
    // As start-up wires it (and it brings in start-up's ErrorF for the
    // configuration library).
    cvxProbeFatalExitHook = [] { restoreModeSwitch(pDisp); };
    const int result = RUN_ALL_TESTS();
    pDisp = nullptr;
    g_server.reset();
    g_root.reset();
    return result;
}
