// Benchmark (not a test): time to fill the preview window for a typical and
// for a very large configuration. Prints the median of several fills.
#include "fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <gtk/gtk.h>

#include "config/config.h"
#include "shell/globals.h"
#include "shell/support.h"
#include "windows/windows.h"

using namespace cvx::test::dialogs;

namespace {

double median_fill_ms(GtkWidget* w, int rounds)
{
    GtkWidget* text = lookup_widget(w, "txtConfig");
    GtkWidget* bar = lookup_widget(w, "scrollConfig");
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        fillConfigPreview(text, bar);
        cvx::test::pump_events();   // includes laying the text out and drawing it
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
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
    const Case cases[] = {
        {"typical (two displays, about 50 lines)", base_config()},
        {"very large (5000 mode lines)", base_config("", large_monitor)},
    };
    for (const Case& c : cases) {
        pXF86Config = xf86parseConfigText(c.text, "bench.conf");
        if (!pXF86Config) {
            std::fprintf(stderr, "cannot parse the %s configuration\n", c.name);
            return 1;
        }
        GtkWidget* w = create_winPreview();
        wdgWinPreview = w;
        gtk_widget_show(w);
        cvx::test::pump_events();
        std::printf("fill preview, %s: %.2f ms (median of 21)\n", c.name, median_fill_ms(w, 21));
        gtk_widget_destroy(w);
        wdgWinPreview = nullptr;
        xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
    }
    return 0;
}
