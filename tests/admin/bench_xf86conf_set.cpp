// Not a test: `xf86conf set --mode multi` over many generated files of the
// size real workstations have (2 to 3 KB: comments, fonts, modules, input
// devices, one board, a monitor with mode lines, a screen with a few depths),
// each run a separate process as an administrator's loop starts it, with the
// save sequence (backup, flush, rename). Then the same again, which finds
// every file unchanged and writes nothing.
//
//   bench_xf86conf_set [files]     (default 1000)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string generated(int n)
{
    const char* drivers[] = {"mouse", "kbd", "evdev"};
    const char* depths[] = {"16", "24", "24"};
    std::string t;
    t += "# /etc/X11/xorg.conf of workstation ws" + std::to_string(n) + "\n";
    t += "# Maintained by the site installer; edited by hand in " + std::to_string(2000 + n % 25) + ".\n\n";
    t += "Section \"ServerLayout\"\n\tIdentifier     \"Layout" + std::to_string(n) + "\"\n";
    t += "\tScreen      0  \"Screen0\" 0 0\n\tInputDevice    \"Mouse0\" \"CorePointer\"\n";
    t += "\tInputDevice    \"Keyboard0\" \"CoreKeyboard\"\nEndSection\n\n";
    t += "Section \"Files\"\n";
    for (const char* font : {"misc", "75dpi", "100dpi", "Type1", "TTF", "cyrillic"})
        t += std::string("\tFontPath     \"/usr/share/fonts/X11/") + font + "/\"\n";
    t += "\tModulePath   \"/usr/lib/xorg/modules\"\nEndSection\n\n";
    t += "Section \"Module\"\n";
    for (const char* module : {"dbe", "extmod", "glx", "dri", "freetype", "type1"})
        t += std::string("\tLoad  \"") + module + "\"\n";
    t += "EndSection\n\n";
    t += "Section \"ServerFlags\"\n\tOption \"BlankTime\" \"" + std::to_string(5 + n % 20) + "\"\nEndSection\n\n";
    t += "Section \"InputDevice\"\n\tIdentifier  \"Keyboard0\"\n\tDriver      \"" + std::string(drivers[n % 3]) + "\"\n";
    t += "\tOption      \"XkbLayout\" \"" + std::string(n % 2 ? "us" : "de") + "\"\n";
    t += "\tOption      \"XkbOptions\" \"ctrl:nocaps\"\nEndSection\n\n";
    t += "Section \"InputDevice\"\n\tIdentifier  \"Mouse0\"\n\tDriver      \"" + std::string(drivers[(n + 1) % 3]) +
         "\"\n\tOption      \"Protocol\" \"auto\"\n\tOption      \"Device\" \"/dev/input/mice\"\n";
    t += "\tOption      \"ZAxisMapping\" \"4 5 6 7\"\nEndSection\n\n";
    t += "Section \"Monitor\"\n\tIdentifier   \"Monitor0\"\n\tVendorName   \"Vendor" + std::to_string(n % 7) + "\"\n";
    t += "\tModelName    \"Model " + std::to_string(n % 13) + "\"\n\tHorizSync    31.5 - " +
         std::to_string(60 + n % 40) + ".0\n\tVertRefresh  50.0 - " + std::to_string(75 + n % 15) + ".0\n";
    for (int k = 0; k < 4 + n % 4; ++k)
        t += "\tModeLine \"" + std::to_string(800 + 64 * k) + "x" + std::to_string(600 + 48 * k) + "@" +
             std::to_string(60 + k) + "\" " + std::to_string(40 + 10 * k) + ".0 " + std::to_string(800 + 64 * k) +
             " 840 968 1056 " + std::to_string(600 + 48 * k) + " 601 605 628 +hsync +vsync\n";
    t += "EndSection\n\n";
    t += "Section \"Device\"\n\t# the board\n\tIdentifier  \"Card0\"\n\tDriver      \"cvx\"\n";
    t += "\tVendorName  \"Corvex\"\n\tBoardName   \"Corvex PairView\"\n\tBusID       \"PCI:1:0:0\"\n";
    t += "\tOption      \"hw cursor\" \"" + std::string(n % 5 ? "on" : "off") + "\"\nEndSection\n\n";
    t += "Section \"Screen\"\n\tIdentifier \"Screen0\"\n\tDevice     \"Card0\"\n\tMonitor    \"Monitor0\"\n";
    t += "\tDefaultDepth     " + std::string(depths[n % 3]) + "\n";
    for (const char* depth : {"8", "16", "24"})
        t += std::string("\tSubSection \"Display\"\n\t\tDepth     ") + depth +
             "\n\t\tModes    \"1280x1024\" \"1024x768\" \"800x600\" \"640x480\"\n\tEndSubSection\n";
    t += "EndSection\n\n";
    t += "Section \"DRI\"\n\tMode         0666\nEndSection\n";
    return t;
}

int run(const std::string& tool, const std::string& file)
{
    const std::string mode = "multi";
    const char* argv[] = {tool.c_str(), "set", file.c_str(), "--mode", mode.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double pass(const std::string& tool, const std::vector<std::string>& files, int& failures)
{
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : files)
        failures += run(tool, file) != 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::string tool = CVX_XF86CONF;
    char pattern[] = "/tmp/cvx-bench-set-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    std::vector<std::string> files;
    std::size_t bytes = 0;
    for (int n = 0; n < count; ++n) {
        const std::string text = generated(n);
        bytes += text.size();
        files.push_back((dir / ("ws" + std::to_string(n) + ".conf")).string());
        std::ofstream(files.back(), std::ios::binary) << text;
    }
    int failures = 0;
    const double changed = pass(tool, files, failures);
    const double unchanged = pass(tool, files, failures);
    std::printf("%d files, %.1f KB on average\n", count, bytes / 1024.0 / count);
    std::printf("set --mode multi, each file changed (backup, flush, rename): %8.1f files/s\n", count / changed);
    std::printf("the same again, every file unchanged (nothing written):      %8.1f files/s\n", count / unchanged);
    if (failures)
        std::printf("%d runs failed\n", failures);
    fs::remove_all(dir);
    return failures ? 1 : 0;
}
