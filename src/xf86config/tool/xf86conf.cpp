// xf86conf: the configuration library from the command line.
//   xf86conf check FILE   exit 0 when the X server would read FILE, else 1
//   xf86conf write FILE   print what a save with nothing changed would write
//   xf86conf find         print the file the default search finds, else exit 1
// Usage errors exit 2.
#include "xf86config/xf86config.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Diagnostics are held back until the outcome is known, so that a file that
// parses shows its findings as warnings only.
std::string g_diagnostics;

int usage()
{
    std::fprintf(stderr, "usage: xf86conf check FILE | xf86conf write FILE | xf86conf find\n");
    return 2;
}

XF86ConfigPtr read_named(const char* file)
{
    // Absolute or relative to the working directory, a plain file only.
    const char* opened = xf86openConfigFile("%A,%R", file, nullptr);
    if (!opened) {
        std::fprintf(stderr, "xf86conf: cannot open %s\n", file);
        return nullptr;
    }
    XF86ConfigPtr tree = xf86readConfigFile();
    xf86closeConfigFile();
    return tree;
}

}  // namespace

void VErrorF(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return;
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    g_diagnostics += text;
}

void ErrorF(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VErrorF(format, args);
    va_end(args);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "find") == 0) {
        const char* found = xf86openConfigFile(nullptr, nullptr, "/usr");
        std::fputs(g_diagnostics.c_str(), stderr);
        if (!found)
            return 1;
        std::printf("%s\n", found);
        xf86closeConfigFile();
        return 0;
    }
    if (argc != 3 || (std::strcmp(argv[1], "check") != 0 && std::strcmp(argv[1], "write") != 0))
        return usage();
    const bool check = std::strcmp(argv[1], "check") == 0;
    XF86ConfigHolder tree(read_named(argv[2]));
    if (!tree) {
        std::fputs(g_diagnostics.c_str(), stderr);
        return 1;
    }
    for (const std::string& w : xf86parseWarnings())
        std::fprintf(stderr, "warning: %s\n", w.c_str());
    g_diagnostics.clear();
    if (check)
        return 0;
    const std::string text = xf86writeConfigText(tree.get());
    if (text.empty() && !tree->sections.empty()) {
        std::fputs(g_diagnostics.c_str(), stderr);
        return 1;
    }
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
}
