// Benchmark, not a test: opening a very large file, switching through the four
// display modes and writing it, at three sizes, to see that the cost grows
// with the file and no faster. Usage: bench_config [triples]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "config/config.h"

namespace {

std::string make_file(int triples)
{
    std::string t;
    t += "Section \"ServerLayout\"\n    Identifier \"Big\"\n";
    for (int k = 0; k < triples; ++k)
        t += "    Screen \"Screen" + std::to_string(k) + "\" " + (k ? "RightOf \"Screen" + std::to_string(k - 1) + "\"" : "0 0") + "\n";
    t += "EndSection\n";
    for (int k = 0; k < triples; ++k) {
        std::string n = std::to_string(k);
        t += "Section \"Device\"\n    Identifier \"Card" + n + "\"\n    Driver \"cvx\"\n    Option \"hw cursor\" \"on\"\nEndSection\n";
        t += "Section \"Monitor\"\n    Identifier \"Mon" + n + "\"\n    HorizSync 30-80\n"
             "    ModeLine \"1024x768\" 78.75 1024 1040 1136 1312 768 769 772 800\nEndSection\n";
        t += "Section \"Screen\"\n    Identifier \"Screen" + n + "\"\n    Device \"Card" + n + "\"\n    Monitor \"Mon" + n +
             "\"\n    DefaultDepth 24\n    SubSection \"Display\"\n        Depth 24\n"
             "        Modes \"1280x1024\" \"1024x768\" \"800x600\"\n    EndSubSection\nEndSection\n";
    }
    return t;
}

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    int base = argc > 1 ? std::atoi(argv[1]) : 1000;
    char dirTemplate[] = "bench-config-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    char* cwd = getcwd(nullptr, 0);
    std::string dir = std::string(cwd ? cwd : ".") + "/" + dirTemplate;
    std::free(cwd);
    // The model's console lines would swamp the figures.
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    std::fprintf(stderr, "%8s %10s %8s %8s %8s %9s %8s %8s\n", "sections", "bytes", "open", "single", "4 modes", "metamodes",
                 "write", "total");
    for (int scale : {1, 2, 4}) {
        int triples = base * scale;
        std::string text = make_file(triples);
        std::string in = dir + "/in.conf", out = dir + "/out.conf";
        std::ofstream(in) << text;
        auto t0 = std::chrono::steady_clock::now();
        XF86ConfigHolder tree(getConfigPtr(in.c_str()));
        double tOpen = ms_since(t0);
        if (!tree)
            return 2;
        auto t1 = std::chrono::steady_clock::now();
        confDisablePairView(tree.get());
        confMakeSections(tree.get());
        double tSingle = ms_since(t1);
        auto t2 = std::chrono::steady_clock::now();
        confEnablePairView(tree.get(), 2);
        confDisablePairView(tree.get());
        confEnableClone(tree.get());
        confDisableClone(tree.get());
        confEnableMergedFB(tree.get(), 2);
        confEnableXinerama(tree.get());
        confDisableHWCursor(tree.get());
        double tModes = ms_since(t2);
        auto tg = std::chrono::steady_clock::now();
        confGenerateMetaModes(tree.get());
        double tMeta = ms_since(tg);
        auto t3 = std::chrono::steady_clock::now();
        confWriteConfigFile(out.c_str(), tree.get());
        double tWrite = ms_since(t3);
        std::fprintf(stderr, "%8d %10zu %8.1f %8.1f %8.1f %9.1f %8.1f %8.1f  (ms)\n", triples * 3 + 1, text.size(),
                     tOpen, tSingle, tModes, tMeta, tWrite, tOpen + tSingle + tModes + tMeta + tWrite);
        unlink(in.c_str());
        unlink(out.c_str());
    }
    rmdir(dir.c_str());
    return 0;
}
