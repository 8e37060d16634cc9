// Benchmark (not a test): time from a real pointer click on an adjustment
// button to the refreshed values in the window, on the test server with the
// driver emulator. Prints the median and the spread over many clicks.
#include "adjust/adjust_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <X11/extensions/XTest.h>

#include "driver/channel.h"
#include "core/globals.h"
#include "windows/window_state.h"
#include "shell/support.h"
#include "windows/windows.h"

using namespace cvx::test::adjust;
using cvx::test::pump_events;
using Clock = std::chrono::steady_clock;

namespace {

class Bench : public AdjustTest {
public:
    void TestBody() override {}
    using AdjustTest::open_adjust;
    using AdjustTest::SetUp;
    using AdjustTest::TearDown;
};

// Root coordinates of a widget's centre.
void centre_of(GtkWidget* widget, int& x, int& y)
{
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    int ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(gtk_widget_get_toplevel(widget)), &ox, &oy);
    int wx = 0, wy = 0;
    gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &wx, &wy);
    x = ox + wx + a.width / 2;
    y = oy + wy + a.height / 2;
}

// Clicks and runs the main loop until the shown timings change.
double click_and_wait(Display* pointer, GtkWidget* button)
{
    int x, y;
    centre_of(button, x, y);
    XTestFakeMotionEvent(pointer, -1, x, y, CurrentTime);
    XSync(pointer, False);
    pump_events();
    const std::string before = text_view_text(wdgWinAdjust, "txtParams");
    const auto start = Clock::now();
    XTestFakeButtonEvent(pointer, 1, True, CurrentTime);
    XTestFakeButtonEvent(pointer, 1, False, CurrentTime);
    XFlush(pointer);
    const auto deadline = start + std::chrono::seconds(5);
    // Blocking iterations leave the CPU to the server; the timer only
    // bounds a wait for a click that never arrives.
    const guint wake = g_timeout_add(50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (text_view_text(wdgWinAdjust, "txtParams") == before && Clock::now() < deadline)
        gtk_main_iteration_do(TRUE);
    g_source_remove(wake);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s %zu runs: median %.2f ms, p10 %.2f ms, p90 %.2f ms, max %.2f ms\n", what, ms.size(),
                ms[ms.size() / 2], ms[ms.size() / 10], ms[ms.size() * 9 / 10], ms.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const int clicks = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    if (!start_world("one", true))
        return 1;
    int ignored = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(world().probe, &ignored, &ignored, &major, &minor)) {
        std::fprintf(stderr, "no XTEST on the test server\n");
        return 1;
    }
    {
        Bench bench;
        bench.SetUp();
        bench.open_adjust(0);
        GtkWidget* narrower = lookup_widget(wdgWinAdjust, "buttonNarrower");
        GtkWidget* wider = lookup_widget(wdgWinAdjust, "buttonWider");
        std::vector<double> ms;
        for (int i = 0; i < clicks; ++i)
            ms.push_back(click_and_wait(world().probe, i % 2 ? wider : narrower));
        report("click to refreshed values", ms);

        // Where the time goes: the handler alone, the channel exchange
        // alone, and the refresh alone.
        auto timed = [&](const char* what, auto&& step) {
            std::vector<double> t;
            for (int i = 0; i < clicks; ++i) {
                const auto start = Clock::now();
                step(i);
                t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
            report(what, t);
        };
        timed("handler (clicked signal)", [&](int i) { gtk_button_clicked(GTK_BUTTON(i % 2 ? wider : narrower)); });
        timed("channel exchange", [&](int i) {
            if (i % 2)
                resizeScreenWider(&mode_line, pDisp);
            else
                resizeScreenNarrower(&mode_line, pDisp);
        });
        timed("refreshAdjustWindow", [&](int) { refreshAdjustWindow(); });
        bench.TearDown();
    }
    stop_world();
    return 0;
}
