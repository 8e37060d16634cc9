#include "central/central_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>

#include "config/config.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include "core/globals.h"
#include "windows/window_state.h"
#include "core/paths.h"
#include "shell/support.h"
#include "windows/windows.h"

namespace fs = std::filesystem;

namespace cvx::test::central {
namespace {

struct World {
    std::unique_ptr<TempRoot> root;
    std::unique_ptr<XServer> server;
};

World& world()
{
    static World w;
    return w;
}

void message_hook(const char* title, const char* text, unsigned char exitFlag)
{
    MsgBox(title, text, exitFlag);
}

bool start(const Scenario& scenario)
{
    World& w = world();
    w.root = std::make_unique<TempRoot>();
    // The information window reads the graphics BIOS through the probe.
    const std::string board = source_dir() + "/emulation/boards/corvex-0525-r80.board";
    setenv("CVXSCAPE_BOARD", board.c_str(), 1);
    XServerOptions options;
    options.layout = scenario.layout;
    options.driver_emulator = scenario.emulator;
    options.server_env = scenario.server_env;
    try {
        w.server = std::make_unique<XServer>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no test X server: %s\n", e.what());
        return false;
    }
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "the toolkit cannot open %s\n", w.server->display().c_str());
        return false;
    }
    pDisp = XOpenDisplay(w.server->display().c_str());
    if (!pDisp)
        return false;
    for (const std::string& dir : cvx::paths::pixmap_dirs())
        add_pixmap_directory(dir.c_str());
    // As start-up does: the channel's requests carry the running timings.
    int clock = 0;
    if (XF86VidModeGetModeLine(pDisp, 0, &clock, &mode_line)) {
        device_info[0] = static_cast<uint32_t>(clock);
        if (mode_line.c_private)
            XFree(mode_line.c_private);
        mode_line.c_private = nullptr;
        mode_line.privsize = 0;
    }
    confMessageHook = &message_hook;
    return true;
}

void stop()
{
    World& w = world();
    if (pXF86Config) {
        xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
    }
    if (pDisp)
        XCloseDisplay(pDisp);
    pDisp = nullptr;
    w.server.reset();
    w.root.reset();
}

const char* kBoardSections = R"(Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    BusID "PCI:1:0:0"
EndSection
Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
    BusID "PCI:1:0:0"
    Screen 1
EndSection
Section "Monitor"
    Identifier "Display 1"
    HorizSync 30.0-82.0
    VertRefresh 50.0-75.0
EndSection
Section "Monitor"
    Identifier "Display 2"
    HorizSync 30.0-82.0
    VertRefresh 50.0-75.0
EndSection
Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768" "800x600"
    EndSubSection
EndSection
Section "Screen"
    Identifier "Display 2"
    Device "CORVEX CARD 2"
    Monitor "Display 2"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
    EndSubSection
EndSection
)";

}  // namespace

int run_scenarios(int argc, char** argv, const std::vector<Scenario>& scenarios)
{
    std::string wanted = "Default";
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--scenario=", 11) == 0)
            wanted = argv[i] + 11;
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    ::testing::InitGoogleTest(&count, args.data());
    const Scenario* chosen = nullptr;
    for (const Scenario& s : scenarios)
        if (s.name == wanted)
            chosen = &s;
    if (!chosen) {
        std::fprintf(stderr, "unknown scenario %s\n", wanted.c_str());
        return 2;
    }
    if (GTEST_FLAG_GET(filter) == "*")
        GTEST_FLAG_SET(filter, chosen->name + ".*");
    if (!start(*chosen)) {
        stop();
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    stop();
    return result;
}

const std::string& display_name()
{
    return world().server->display();
}

void use_board(uint32_t deviceId, uint32_t revision)
{
    device_info[1] = deviceId;
    device_info[2] = revision;
}

void set_hal_module_present(bool present)
{
    const fs::path file = cvx::paths::hal_module();
    std::error_code ec;
    if (present) {
        fs::create_directories(file.parent_path(), ec);
        std::ofstream(file) << "module";
    } else {
        fs::remove(file, ec);
    }
}

void load_tree(const std::string& text)
{
    if (pXF86Config)
        xf86freeConfig(pXF86Config);
    pXF86Config = xf86parseConfigText(text, "central-test.conf");
    ASSERT_NE(pXF86Config, nullptr) << text;
}

void open_file(const std::string& file)
{
    if (pXF86Config)
        xf86freeConfig(pXF86Config);
    std::snprintf(sConfigFile, sizeof sConfigFile, "%s", file.c_str());
    std::snprintf(sConfigBackup, sizeof sConfigBackup, "%s_CVX-BACKUP", file.c_str());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pXF86Config = getConfigPtr(sConfigFile);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_NE(pXF86Config, nullptr) << file;
    confAdoptBackupPath(confOpenedFile, sConfigBackup);
}

std::string tree_text()
{
    return pXF86Config ? xf86writeConfigText(pXF86Config) : "(no tree)";
}

std::string single_config()
{
    return R"(Section "Device"
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
        Modes "1024x768" "800x600"
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "Layout0"
    Screen 0 "Screen0" 0 0
EndSection
)";
}

std::string pairview_config(const std::string& layout_lines)
{
    return std::string(kBoardSections) + "Section \"ServerFlags\"\n    Option \"Xinerama\"\nEndSection\n" +
           "Section \"ServerLayout\"\n    Identifier \"Corvex Twinscape configured.\"\n" + layout_lines +
           "EndSection\n";
}

std::string merged_config(const std::string& monitor2_position_option)
{
    return std::string(kBoardSections) + R"(Section "Monitor"
    Identifier "Display Merged"
    HorizSync 30.0-82.0
    VertRefresh 50.0-75.0
EndSection
Section "Screen"
    Identifier "Display Merged"
    Device "CORVEX CARD 1"
    Monitor "Display Merged"
    DefaultDepth 24
    Option "MergedFB"
)" + monitor2_position_option +
           R"(    SubSection "Display"
        Depth 24
        Modes "1024x768"
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen "Display Merged"
EndSection
)";
}

GtkWidget* open_main_window()
{
    wdgWinCentral = create_winCentral();
    set_window_back(wdgWinCentral, lookup_widget(wdgWinCentral, "fixed3"));
    gtk_widget_show(wdgWinCentral);
    GtkWidget* window = wdgWinCentral;
    wait_until([window] { return gtk_widget_get_mapped(window); });
    pump_events();
    return wdgWinCentral;
}

GtkWidget* widget(const char* name)
{
    return wdgWinCentral ? lookup_widget(wdgWinCentral, name) : nullptr;
}

bool is_active(const char* name)
{
    GtkWidget* w = widget(name);
    return w && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
}

bool is_sensitive(const char* name)
{
    GtkWidget* w = widget(name);
    return w && gtk_widget_get_sensitive(w);
}

void click(const char* name)
{
    GtkWidget* w = widget(name);
    ASSERT_NE(w, nullptr) << name;
    gtk_button_clicked(GTK_BUTTON(w));
    pump_events();
}

Pos position(const char* name)
{
    GtkWidget* w = widget(name);
    if (!w)
        return {-1, -1};
    int x = -1, y = -1;
    gtk_container_child_get(GTK_CONTAINER(gtk_widget_get_parent(w)), w, "x", &x, "y", &y, nullptr);
    return {x, y};
}

std::string label(const char* name)
{
    GtkWidget* w = widget(name);
    return w && GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "(no label)";
}

std::vector<Box> message_boxes()
{
    std::vector<Box> boxes;
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it; it = it->next) {
        GtkWidget* win = GTK_WIDGET(it->data);
        auto* text = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(win), "lblMsgBox"));
        if (!text || !gtk_widget_get_visible(win))
            continue;
        const char* title = gtk_window_get_title(GTK_WINDOW(win));
        boxes.push_back({title ? title : "", gtk_label_get_text(GTK_LABEL(text))});
    }
    g_list_free(windows);
    return boxes;
}

void close_message_boxes()
{
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it; it = it->next) {
        GtkWidget* win = GTK_WIDGET(it->data);
        if (g_object_get_data(G_OBJECT(win), "lblMsgBox"))
            gtk_widget_destroy(win);
    }
    g_list_free(windows);
    wdgWinMsgbox = nullptr;
    mustExit = 0;
    pump_events();
}

std::string expected_summary_line(int screen)
{
    int clock = 0;
    XF86VidModeModeLine line{};
    if (!XF86VidModeGetModeLine(pDisp, screen, &clock, &line))
        return "(no mode line)";
    if (line.c_private)
        XFree(line.c_private);
    const double hz = clock * 1000.0 / (static_cast<double>(line.htotal) * line.vtotal);
    return "Display " + std::to_string(screen + 1) + ": " + std::to_string(line.hdisplay) + " x " +
           std::to_string(line.vdisplay) + ", " + std::to_string(DefaultDepth(pDisp, 0)) + "-bit, " +
           std::to_string(std::lround(hz)) + " Hz";
}

Layout tree_layout()
{
    Layout l{-9, -9, -9};
    confGetServerLayout(pXF86Config, &l.first, &l.where, &l.second);
    return l;
}

void CentralTest::SetUp()
{
    ASSERT_NE(pDisp, nullptr);
    where = 0;
    bInMergedMode = 0;
    bDriverModed = 0;
    bHalLoaded = 0;
    wasSingleHeadAtStartup = 0;
    CurrentScreen = 0;
    use_board(0x0525, 0x80);
    set_hal_module_present(false);
}

void CentralTest::TearDown()
{
    close_message_boxes();
    for (GtkWidget*& w : wdgWinIdentify) {
        if (w)
            gtk_widget_destroy(w);
        w = nullptr;
    }
    if (wdgWinCentral)
        gtk_widget_destroy(wdgWinCentral);
    wdgWinCentral = nullptr;
    if (pXF86Config)
        xf86freeConfig(pXF86Config);
    pXF86Config = nullptr;
    confOpenedFile = ConfOpenedFile{};
    pump_events();
}

std::ostream& operator<<(std::ostream& os, const Pos& p)
{
    return os << "(" << p.x << ", " << p.y << ")";
}

std::ostream& operator<<(std::ostream& os, const Layout& l)
{
    return os << "(" << l.first << ", " << l.where << ", " << l.second << ")";
}

}  // namespace cvx::test::central
