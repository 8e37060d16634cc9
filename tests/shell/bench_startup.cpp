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
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include "support/xserver.h"

namespace {

using Clock = std::chrono::steady_clock;

// The minimal program: one window, a label, an entry and a button; once the
// window is mapped it idles in its main loop, as the program does, until the
// bench ends it.
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
    gtk_widget_show_all(window);
    gtk_main();
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

// How many GL, LLVM or DRI libraries the process has mapped (each counted once).
int gl_libraries(pid_t pid)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> seen;
    std::string line;
    while (std::getline(maps, line)) {
        const auto slash = line.find('/');
        if (slash == std::string::npos)
            continue;
        const std::string path = line.substr(slash);
        const std::string name = path.substr(path.rfind('/') + 1);
        const bool gl = name.rfind("libGL", 0) == 0 || name.rfind("libEGL", 0) == 0 ||
                        name.rfind("libLLVM", 0) == 0 || name.rfind("libglapi", 0) == 0 ||
                        name.rfind("libgallium", 0) == 0 || path.find("/dri/") != std::string::npos ||
                        name.find("_dri.so") != std::string::npos || name.rfind("libxcb-dri", 0) == 0;
        if (gl)
            seen.insert(path);
    }
    return static_cast<int>(seen.size());
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
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 10;

    cvx::test::XServer server;
    cvx::test::TempRoot root;
    Display* d = XOpenDisplay(nullptr);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        return 1;

    std::vector<double> program, minimal;
    // The toolkit's set-up after mapping does not always happen at the same
    // moment: idle figures are medians of a few samples.
    constexpr int kIdleSamples = 3;
    std::vector<double> idle_rss, minimal_rss, idle_gl, minimal_gl;
    for (int i = 0; i < runs; ++i) {
        pid_t pid = 0;
        program.push_back(time_to_map(d, {CVX_PROGRAM}, "Corvex Twinscape - Configuration File", pid));
        if (i < kIdleSamples) {
            sleep(3);   // idle in the main loop: the toolkit's lazy set-up after mapping has run
            idle_rss.push_back(rss_kib(pid) / 1024.0);
            idle_gl.push_back(gl_libraries(pid));
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);

        minimal.push_back(time_to_map(d, {self, "--minimal"}, "minimal", pid));
        if (i < kIdleSamples) {
            sleep(3);
            minimal_rss.push_back(rss_kib(pid) / 1024.0);
            minimal_gl.push_back(gl_libraries(pid));
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    const double p = median(program), m = median(minimal);
    std::printf("start to configuration-file window mapped: cvxscape %.1f ms, minimal GTK 3 program %.1f ms "
                "(medians of %d), ratio %.2f\n",
                p, m, runs, p / m);
    std::printf("resident memory when idle: cvxscape %.1f MiB, minimal GTK 3 program %.1f MiB\n",
                median(idle_rss), median(minimal_rss));
    std::printf("GL libraries mapped when idle: cvxscape %.0f, minimal GTK 3 program %.0f\n", median(idle_gl),
                median(minimal_gl));
    XCloseDisplay(d);
    return 0;
}
