// Whether the real X server accepts a configuration file.
#include "support/xorg_check.h"

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "support/files.h"

namespace fs = std::filesystem;

namespace cvx::test {

namespace {

// The server itself, not the wrapper that wants a console.
std::string xorg_binary()
{
    const char* direct = "/usr/lib/xorg/Xorg";
    return access(direct, X_OK) == 0 ? direct : "Xorg";
}

}  // namespace

bool have_xorg()
{
    return std::system("command -v Xorg >/dev/null 2>&1 || test -x /usr/lib/xorg/Xorg") == 0;
}

bool xorg_reads_cleanly(const std::string& file, const std::string& workdir, std::string& log)
{
    const std::string configdir = workdir + "/xorg-configdir";
    const std::string logfile = workdir + "/" + fs::path(file).filename().string() + ".Xorg.log";
    std::error_code ec;
    fs::create_directories(configdir, ec);
    fs::remove(logfile, ec);
    // -displayfd picks a free display; the server ends by itself when the
    // driver is missing, the timeout stops one that came up after all.
    const std::string command = "timeout 30 " + xorg_binary() + " -displayfd 9 -config " + shell_quote(file) +
                                " -configdir " + shell_quote(configdir) + " -logfile " + shell_quote(logfile) +
                                " -noreset -nolisten tcp -novtswitch 9>/dev/null </dev/null >/dev/null 2>&1";
    (void)std::system(command.c_str());
    log = read_file(logfile);
    return log.find("Using config file: \"" + file + "\"") != std::string::npos &&
           log.find("Problem parsing") == std::string::npos && log.find("Error parsing") == std::string::npos &&
           log.find("Data incomplete") == std::string::npos;
}

bool xorg_accepts(const std::string& file, const std::string& workdir, std::string& log)
{
    return xorg_reads_cleanly(file, workdir, log) && log.find("Failed to load module \"cvx\"") != std::string::npos;
}

}  // namespace cvx::test
