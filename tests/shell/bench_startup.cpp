// Not a test: how long the program takes from its start to the mapping of
// the configuration-file window, beside a minimal GTK 3 program that maps one
// window with three widgets on the same server, and the resident memory of
// the idle program. Run it from a release build:
//
//   bench_startup [runs]
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include "support/xserver.h"

namespace {

using Clock = std::chrono::steady_clock;

// The minimal program: one window, a label, an entry and a button; it ends
// once the window is mapped.
int minimal_main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "minimal");
    GtkWidget* fixed = gtk_fixed_new();
    gtk_fixed_put(GTK_FIXED(fixed), gtk_label_new("Configuration file:"), 80, 16);
    gtk_fixed_put(GTK_FIXED(fixed), gtk_entry_new(), 80, 48);
    gtk_fixed_put(GTK_FIXED(fixed), gtk_button_new_with_label("Ok"), 296, 192);
    gtk_container_add(GTK_CONTAINER(window), fixed);
    gtk_widget_set_size_request(window, 391, 235);
    g_signal_connect(window, "map-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) -> gboolean {
                         gtk_main_quit();
                         return FALSE;
                     }),
                     nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    pause();   // the bench ends us, as it ends the program
    return 0;
}

long rss_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Starts argv and returns the milliseconds until a top-level window named
// `title` is mapped; the process is left running in `pid`.
double time_to_map(Display* d, std::vector<std::string> argv, const std::string& title, pid_t& pid)
{
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, True);
    const auto start = Clock::now();
    pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    for (;;) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type != MapNotify)
            continue;
        char* name = nullptr;
        if (XFetchName(d, ev.xmap.window, &name) && name) {
            const bool match = title == name;
            XFree(name);
            if (match)
                return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--minimal")
        return minimal_main(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    cvx::test::XServer server;
    cvx::test::TempRoot root;
    Display* d = XOpenDisplay(nullptr);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        return 1;

    std::vector<double> program, minimal;
    long idle_rss = 0, minimal_rss = 0;
    for (int i = 0; i < runs; ++i) {
        pid_t pid = 0;
        program.push_back(time_to_map(d, {CVX_PROGRAM}, "Corvex Twinscape - Configuration File", pid));
        if (i == 0) {
            sleep(3);   // idle: the toolkit finishes its lazy set-up (GL probing) after mapping
            idle_rss = rss_kib(pid);
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);

        minimal.push_back(time_to_map(d, {self, "--minimal"}, "minimal", pid));
        if (i == 0) {
            sleep(3);   // idle: the toolkit finishes its lazy set-up (GL probing) after mapping
            minimal_rss = rss_kib(pid);
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    const double p = median(program), m = median(minimal);
    std::printf("start to configuration-file window mapped: cvxscape %.1f ms, minimal GTK 3 program %.1f ms "
                "(medians of %d), ratio %.2f\n",
                p, m, runs, p / m);
    std::printf("resident memory when idle: cvxscape %.1f MiB, minimal GTK 3 program %.1f MiB\n",
                idle_rss / 1024.0, minimal_rss / 1024.0);
    XCloseDisplay(d);
    return 0;
}
