// xf86conf: the configuration file from the command line: check, write back,
// find, and show or change what the program's windows show and change.
#include "xf86conf/tool.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Diagnostics are held back until the outcome is known, so that a file that
// parses shows its findings as warnings only.
std::string g_diagnostics;

const char* const kHelp =
    "usage: xf86conf check FILE\n"
    "       xf86conf write FILE\n"
    "       xf86conf find\n"
    "       xf86conf show FILE [--json]\n"
    "       xf86conf set FILE EDIT... [--dry-run] [--backup PATH | --no-backup]\n"
    "\n"
    "  check   exit 0 when the X server would read FILE\n"
    "  write   print what a save with nothing changed would write\n"
    "  find    print the file the default search finds\n"
    "  show    what the main window and the display modes dialog show for FILE:\n"
    "          display mode, relation, Xinerama, hardware cursor, and per display\n"
    "          its depth, modes, output type and mode lines (--json: one object)\n"
    "  set     change FILE as the windows would, keeping every other byte\n"
    "\n"
    "EDITs of set (D is the display, 1 or 2):\n"
    "  --mode single|multi|clone|merged\n"
    "  --relation leftof|rightof|above|below   display 1 relative to display 2\n"
    "                    (multi and merged; without it the file's, else leftof)\n"
    "  --xinerama on|off            --hw-cursor on|off\n"
    "  --depth D=8|16|24|32         --modes D=MODE[,MODE...]  (in this order)\n"
    "  --output D=analog|digital|tv-ntsc|tv-pal[,CABLE]\n"
    "                    CABLE: YC_COMPOSITE (default), SCART_COMPOSITE, SCART_TYPE2,\n"
    "                    SCART_RGB\n"
    "  --busid PCI:B:D:F            BusID of the board's Device sections\n"
    "  --dry-run         print a unified diff of FILE against what would be\n"
    "                    written, and write nothing\n"
    "  --backup PATH     keep the previous file at PATH (default FILE_CVX-BACKUP)\n"
    "  --no-backup       keep no copy of the previous file\n"
    "A second identical set writes nothing and says \"unchanged\".\n"
    "Notices the windows show in a message box go to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  done: FILE changed or unchanged (set says which on standard output);\n"
    "     with --dry-run, nothing would change\n"
    "  1  FILE cannot be read, parsed or written (the parser's line and message\n"
    "     on standard error); check: the X server would not read FILE;\n"
    "     find: no file found\n"
    "  2  usage error or invalid value; nothing written\n"
    "  3  --dry-run: something would change\n";

int usage()
{
    std::fputs(kHelp, stderr);
    return xf86conf::kUsage;
}

}  // namespace

namespace xf86conf {

XF86ConfigPtr read_named(const char* file)
{
    // Absolute or relative to the working directory, a plain file only.
    const char* opened = xf86openConfigFile("%A,%R", file, nullptr);
    if (!opened) {
        std::fprintf(stderr, "xf86conf: cannot open %s\n", file);
        std::fputs(take_diagnostics().c_str(), stderr);
        return nullptr;
    }
    XF86ConfigPtr tree = xf86readConfigFile();
    xf86closeConfigFile();
    if (!tree)
        std::fputs(take_diagnostics().c_str(), stderr);
    return tree;
}

std::string take_diagnostics()
{
    std::string out;
    out.swap(g_diagnostics);
    return out;
}

}  // namespace xf86conf

using xf86conf::read_named;

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
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "show") == 0)
        return xf86conf::run_show(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "set") == 0)
        return xf86conf::run_set(argc - 2, argv + 2);
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
    if (!tree)
        return 1;
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
