// Benchmark (not a test): time to fill the preview window for a typical and
// for a very large configuration. Prints the median of several fills: the
// fill alone, until the new text is first drawn, and until the text view has
// laid out the whole text (it does that in idle steps after the first draw,
// which is when the scrollbar reaches its final range).
#include "fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include <gtk/gtk.h>

#include "config/config.h"
#include "windows/window_state.h"
#include "shell/support.h"
#include "windows/windows.h"

using namespace cvx::test::dialogs;

namespace {

struct Timing {
    double fill_ms;     // fillConfigPreview alone: write, read back, load into the text
    double draw_ms;     // and until the new text has been drawn
    double draw_cpu_ms; // the processor time of this thread for the same (without the wait
                        // for the frame clock's next frame or for a busy processor)
    double total_ms;    // and until the toolkit has laid out the whole text and drawn it
};

using Clock = std::chrono::steady_clock;

double thread_cpu_ms()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The end of the text view's latest draw.
gboolean note_draw(GtkWidget*, cairo_t*, gpointer data)
{
    *static_cast<Clock::time_point*>(data) = Clock::now();
    return FALSE;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Timing median_fill(GtkWidget* w, int rounds)
{
    GtkWidget* text = lookup_widget(w, "txtConfig");
    GtkWidget* bar = lookup_widget(w, "scrollConfig");
    GdkDisplay* display = gdk_display_get_default();
    Clock::time_point drawn{};
    const gulong handler = g_signal_connect_after(text, "draw", G_CALLBACK(note_draw), &drawn);
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    std::vector<double> fill, draw, draw_cpu, total;
    for (int i = 0; i < rounds; ++i) {
        cvx::test::pump_events();
        const double cpu0 = thread_cpu_ms();
        double cpu_drawn = 0;
        const auto t0 = Clock::now();
        fillConfigPreview(text, bar);
        const auto t1 = Clock::now();
        gtk_widget_queue_draw(w);
        drawn = {};
        Clock::time_point first_draw{};
        while (gtk_events_pending()) {
            gtk_main_iteration_do(FALSE);
            if (first_draw == Clock::time_point{} && drawn != Clock::time_point{}) {
                gdk_display_sync(display);
                first_draw = Clock::now();
                cpu_drawn = thread_cpu_ms();
            }
        }
        gdk_display_sync(display);
        const auto t2 = Clock::now();
        fill.push_back(ms(t0, t1));
        draw.push_back(ms(t0, first_draw == Clock::time_point{} ? t2 : first_draw));
        draw_cpu.push_back((cpu_drawn ? cpu_drawn : thread_cpu_ms()) - cpu0);
        total.push_back(ms(t0, t2));
    }
    g_signal_handler_disconnect(text, handler);
    return {median(fill), median(draw), median(draw_cpu), median(total)};
}

}  // namespace

int main()
{
    cvx::test::TempRoot root;
    cvx::test::XServer x;
    int argc = 0;
    char** argv = nullptr;
    gtk_init(&argc, &argv);

    std::string large_monitor;
    for (int i = 0; i < 5000; ++i)
        large_monitor += "  ModeLine \"m" + std::to_string(i) + "\" 65.0 1024 1048 1184 1344 768 771 777 806 -hsync -vsync\n";
    struct Case {
        const char* name;
        std::string text;
    };
    auto corpus = [](const char* name) {
        std::ifstream in(cvx::test::corpus_dir() + "/" + name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const Case cases[] = {
        {"small (the program's two displays)", base_config()},
        {"typical (a real two-board file)", corpus("03-xorg-nvidia-radeon-twinview-metamodes-dri.conf")},
        {"long (a real file with long comments)", corpus("06-xorg-fglrx-vga-dri-group-long-comments.conf")},
        {"very large (5000 mode lines)", base_config("", large_monitor)},
    };
    for (const Case& c : cases) {
        if (c.text.empty()) {
            std::printf("%s: skipped, the real-world corpus is not there (CVX_XORG_CORPUS)\n", c.name);
            continue;
        }
        pXF86Config = xf86parseConfigText(c.text, "bench.conf");
        if (!pXF86Config) {
            std::fprintf(stderr, "cannot parse the %s configuration\n", c.name);
            return 1;
        }
        GtkWidget* w = create_winPreview();
        wdgWinPreview = w;
        gtk_widget_show(w);
        cvx::test::pump_events();
        const Timing t = median_fill(w, 21);
        std::printf("preview, %s, %zu bytes: fill %.2f ms, fill and first draw %.2f ms, "
                    "fill and draw of the whole layout %.2f ms (medians of 21); processor time until the first "
                    "draw %.2f ms\n",
                    c.name, xf86writeConfigText(pXF86Config).size(), t.fill_ms, t.draw_ms, t.total_ms,
                    t.draw_cpu_ms);
        gtk_widget_destroy(w);
        wdgWinPreview = nullptr;
        xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
    }
    return 0;
}
