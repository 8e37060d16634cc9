// Parse and write throughput of the configuration-file library (not a test).
// Usage: bench_xf86config [corpus-folder]
// Measures the real files of the corpus, then generated files made of the
// corpus repeated 1, 10 and 100 times, so that growth with size shows.
// Figures are MB (10^6 bytes) per second of CPU time. Build without
// sanitizers for meaningful figures.
#include "support/diagnostics.h"
#include "support/files.h"
#include "xf86config/xf86config.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// CPU time of this process: the figures stay meaningful on a loaded machine.
struct Clock {
    using time_point = double;
    static double now()
    {
        timespec ts {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
};

double seconds_since(double t0)
{
    return std::max(Clock::now() - t0, 1e-9);
}

struct Figures { double parse_mbs = 0, write_mbs = 0, edited_write_mbs = 0; };

// Best of several rounds, each at least ~0.2 s of work.
Figures measure(const std::vector<std::string>& texts)
{
    std::size_t bytes = 0;
    for (const auto& t : texts)
        bytes += t.size();
    const double mb = static_cast<double>(bytes) / 1e6;
    Figures f;
    int reps = std::max(1, static_cast<int>(2e6 / std::max<std::size_t>(bytes, 1)));
    for (int round = 0; round < 3; ++round) {
        std::vector<XF86ConfigHolder> trees;
        auto t0 = Clock::now();
        for (int r = 0; r < reps; ++r) {
            trees.clear();
            for (const auto& t : texts)
                trees.emplace_back(xf86parseConfigText(t, "bench"));
        }
        f.parse_mbs = std::max(f.parse_mbs, mb * reps / seconds_since(t0));
        std::size_t check = 0;
        t0 = Clock::now();
        for (int r = 0; r < reps; ++r)
            for (auto& tree : trees)
                check += xf86writeConfigText(tree.get()).size();
        f.write_mbs = std::max(f.write_mbs, mb * reps / seconds_since(t0));
        if (check != bytes * static_cast<std::size_t>(reps))
            std::fprintf(stderr, "warning: written size differs from the input\n");
        // Every Device section changed: the writer takes the statement-by-statement path.
        for (auto& tree : trees)
            for (XF86ConfDevicePtr d : xf86devices(tree.get()))
                xf86addNewOption(d->options, "BenchOption", std::string("1"));
        t0 = Clock::now();
        for (int r = 0; r < reps; ++r)
            for (auto& tree : trees)
                check += xf86writeConfigText(tree.get()).size();
        f.edited_write_mbs = std::max(f.edited_write_mbs, mb * reps / seconds_since(t0));
    }
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    cvx::test::silence_diagnostics();
    fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(CVX_XORG_CORPUS);
    if (argc <= 1 && !fs::is_directory(dir)) {
        std::printf("no real-world corpus (CVX_XORG_CORPUS): measuring the project's samples\n");
        dir = CVX_XF86CONFIG_SAMPLES;
    }
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ".conf")
            files.push_back(cvx::test::read_file(e.path()));
    if (files.empty()) {
        std::fprintf(stderr, "no .conf files in %s\n", dir.c_str());
        return 1;
    }
    std::string joined;
    for (const auto& f : files)
        joined += f + (f.empty() || f.back() == '\n' ? "" : "\n");

    std::printf("%-28s %12s %12s %12s %16s\n", "input", "size", "parse MB/s", "write MB/s", "edited write MB/s");
    Figures f = measure(files);
    std::size_t total = 0;
    for (const auto& t : files)
        total += t.size();
    std::printf("%-28s %10zu B %12.1f %12.1f %16.1f\n", "corpus, file by file", total, f.parse_mbs, f.write_mbs,
                f.edited_write_mbs);
    for (int factor : {1, 10, 100}) {
        std::string big;
        big.reserve(joined.size() * static_cast<std::size_t>(factor));
        for (int i = 0; i < factor; ++i)
            big += joined;
        XF86ConfigHolder probe(xf86parseConfigText(big, "generated"));
        if (!probe) {
            std::fprintf(stderr, "the generated file does not parse\n");
            return 1;
        }
        f = measure({big});
        char label[64];
        std::snprintf(label, sizeof label, "corpus joined x%d", factor);
        std::printf("%-28s %10zu B %12.1f %12.1f %16.1f\n", label, big.size(), f.parse_mbs, f.write_mbs,
                    f.edited_write_mbs);
    }
    return 0;
}
