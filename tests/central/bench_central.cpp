// Benchmark (not a test): from pressing OK in the configuration-file window
// to the main window being mapped, for a typical file and a very large one,
// on the private X server with the emulated board and driver.
//
//   bench_central [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtk/gtk.h>

#include "config/config.h"

#include <X11/Xlib.h>

#include "hw/probe.h"
#include "core/globals.h"
#include "windows/window_state.h"
#include "core/paths.h"
#include "shell/support.h"
#include "support/xserver.h"
#include "windows/win_open.h"
#include "windows/windows.h"

using namespace cvx::test;
using Clock = std::chrono::steady_clock;

namespace {

std::string typical_file()
{
    return R"(Section "Files"
    FontPath "/usr/X11R6/lib/X11/fonts/misc/"
EndSection
Section "Module"
    Load "dbe"
    Load "extmod"
    Load "glx"
    Load "dri"
EndSection
Section "InputDevice"
    Identifier "Keyboard1"
    Driver "keyboard"
EndSection
Section "InputDevice"
    Identifier "Mouse1"
    Driver "mouse"
    Option "Protocol" "Auto"
    Option "Device" "/dev/sysmouse"
EndSection
Section "Device"
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
        Modes "1280x1024" "1024x768" "800x600"
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "Layout0"
    Screen 0 "Screen0" 0 0
    InputDevice "Mouse1" "CorePointer"
    InputDevice "Keyboard1" "CoreKeyboard"
EndSection
)";
}

// Thousands of sections: monitors with mode lines, devices and screens.
std::string large_file()
{
    std::string text = typical_file();
    for (int i = 0; i < 1500; ++i) {
        const std::string n = std::to_string(i);
        text += "Section \"Monitor\"\n    Identifier \"Extra Monitor " + n +
                "\"\n    HorizSync 30.0-82.0\n    VertRefresh 50.0-75.0\n"
                "    ModeLine \"1024x768\" 65.0 1024 1048 1184 1344 768 771 777 806\n"
                "    ModeLine \"1280x1024\" 108.0 1280 1328 1440 1688 1024 1025 1028 1066\n"
                "EndSection\n";
        text += "Section \"Device\"\n    Identifier \"Extra Card " + n + "\"\n    Driver \"vesa\"\nEndSection\n";
        text += "Section \"Screen\"\n    Identifier \"Extra Screen " + n + "\"\n    Device \"Extra Card " + n +
                "\"\n    Monitor \"Extra Monitor " + n +
                "\"\n    SubSection \"Display\"\n        Depth 24\n        Modes \"1024x768\"\n    EndSubSection\n"
                "EndSection\n";
    }
    return text;
}

void set_entry(GtkWidget* window, const char* name, const std::string& text)
{
    gtk_entry_set_text(GTK_ENTRY(lookup_widget(window, name)), text.c_str());
}

// One press of OK: milliseconds until the main window is mapped.
double one_round(const std::string& path)
{
    wdgWinOpen = create_winOpen();
    set_window_back(wdgWinOpen, lookup_widget(wdgWinOpen, "fixed5"));
    gtk_widget_show(wdgWinOpen);
    pump_events();
    set_entry(wdgWinOpen, "entryConfig", path);
    set_entry(wdgWinOpen, "entryBackup", path + "_CVX-BACKUP");

    const auto start = Clock::now();
    on_buttonOkOpenConfig_clicked(GTK_BUTTON(lookup_widget(wdgWinOpen, "buttonOkOpenConfig")), nullptr);
    while (!wdgWinCentral || !gtk_widget_get_mapped(wdgWinCentral))
        gtk_main_iteration_do(TRUE);
    gdk_display_sync(gdk_display_get_default());
    const auto end = Clock::now();

    // Close the round: boxes (the 640 x 480 notice cannot come here), the
    // window and the tree.
    if (wdgWinMsgbox)
        gtk_widget_destroy(wdgWinMsgbox);
    gtk_widget_destroy(wdgWinCentral);
    xf86freeConfig(pXF86Config);
    pXF86Config = nullptr;
    where = 0;
    pump_events();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The same road in its steps, to see where the time goes.
struct Steps { double parse, probe, build, show, map; };
Steps one_round_in_steps(const std::string& path)
{
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    Steps s{};
    const auto t0 = Clock::now();
    pXF86Config = getConfigPtr(path.c_str());
    const auto t1 = Clock::now();
    int device = 0, bus = 0;
    unsigned char revision = 0;
    getCorvexPci(&device, &bus, &device_info[1], &revision);
    device_info[2] = revision;
    const auto t2 = Clock::now();
    wdgWinCentral = create_winCentral();
    set_window_back(wdgWinCentral, lookup_widget(wdgWinCentral, "fixed3"));
    const auto t3 = Clock::now();
    gtk_widget_show(wdgWinCentral);
    const auto t4 = Clock::now();
    while (!gtk_widget_get_mapped(wdgWinCentral))
        gtk_main_iteration_do(TRUE);
    gdk_display_sync(gdk_display_get_default());
    const auto t5 = Clock::now();
    s = {ms(t0, t1), ms(t1, t2), ms(t2, t3), ms(t3, t4), ms(t4, t5)};
    if (wdgWinMsgbox)
        gtk_widget_destroy(wdgWinMsgbox);
    gtk_widget_destroy(wdgWinCentral);
    xf86freeConfig(pXF86Config);
    pXF86Config = nullptr;
    where = 0;
    pump_events();
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    // Figures only: the model's console lines ("Configuration file parsed.",
    // on standard error) go to the void; figures and our own errors go to
    // copies of the original streams.
    FILE* figures = fdopen(dup(STDOUT_FILENO), "w");
    FILE* errors = fdopen(dup(STDERR_FILENO), "w");
    if (!figures || !errors || !std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
        return 1;
    TempRoot root;
    XServerOptions options;
    options.driver_emulator = true;
    std::unique_ptr<XServer> server;
    try {
        server = std::make_unique<XServer>(options);
    } catch (const std::exception& e) {
        std::fprintf(errors, "no test X server: %s\n", e.what());
        return 1;
    }
    const std::string board = source_dir() + "/emulation/boards/corvex-0525-r80.board";
    setenv("CVXSCAPE_BOARD", board.c_str(), 1);
    gtk_init(&argc, &argv);
    pDisp = XOpenDisplay(server->display().c_str());
    // As start-up leaves it: the running mode line is the carrier of the
    // driver channel that the show handler asks. Without it every question
    // fails and each round would open the driver warning box.
    int dot_clock = 0;
    if (!pDisp || !XF86VidModeGetModeLine(pDisp, DefaultScreen(pDisp), &dot_clock, &mode_line)) {
        std::fprintf(errors, "cannot read the running mode line\n");
        return 1;
    }
    device_info[0] = static_cast<uint32_t>(dot_clock);
    for (const std::string& dir : cvx::paths::pixmap_dirs())
        add_pixmap_directory(dir.c_str());

    struct Case { const char* name; std::string text; };
    for (const Case& c : {Case{"typical", typical_file()}, Case{"large", large_file()}}) {
        const std::string path = root.file(std::string(c.name) + ".conf");
        std::ofstream(path) << c.text;
        one_round(path);  // warm-up: resources, fonts, theme
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i)
            times.push_back(one_round(path));
        std::fprintf(figures, "%-8s %8zu bytes  OK to main window mapped: median %.1f ms, min %.1f ms, max %.1f ms (%d rounds)\n",
                    c.name, c.text.size(), median(times), *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()), rounds);
        std::vector<double> parse, probe, build, show, map;
        for (int i = 0; i < rounds; ++i) {
            const Steps st = one_round_in_steps(path);
            parse.push_back(st.parse);
            probe.push_back(st.probe);
            build.push_back(st.build);
            show.push_back(st.show);
            map.push_back(st.map);
        }
        std::fprintf(figures, "%-8s medians: parse %.1f ms, probe %.1f ms, build window %.1f ms, show handler %.1f ms, "
                    "until mapped %.1f ms\n",
                    c.name, median(parse), median(probe), median(build), median(show), median(map));
    }
    XCloseDisplay(pDisp);
    pDisp = nullptr;
    std::fclose(figures);
    return 0;
}
