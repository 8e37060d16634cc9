// Benchmark (not a test): time to fill the preview window for a typical and
// for a very large configuration. Prints the median of several fills.
#include "fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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
    double total_ms;    // and until the toolkit has laid out and drawn the new text
};

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
    std::vector<double> fill, total;
    for (int i = 0; i < rounds; ++i) {
        cvx::test::pump_events();
        const auto t0 = std::chrono::steady_clock::now();
        fillConfigPreview(text, bar);
        const auto t1 = std::chrono::steady_clock::now();
        gtk_widget_queue_draw(w);
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
        gdk_display_sync(display);
        const auto t2 = std::chrono::steady_clock::now();
        fill.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        total.push_back(std::chrono::duration<double, std::milli>(t2 - t0).count());
    }
    return {median(fill), median(total)};
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
        std::printf("preview, %s, %zu bytes: fill %.2f ms, fill and draw %.2f ms (medians of 21)\n", c.name,
                    xf86writeConfigText(pXF86Config).size(), t.fill_ms, t.total_ms);
        gtk_widget_destroy(w);
        wdgWinPreview = nullptr;
        xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
    }
    return 0;
}
