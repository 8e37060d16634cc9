#include "support/xserver.h"
#include "support/files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include <gtk/gtk.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace cvx::test {

namespace {

// Runs a command and returns its standard output; throws when it fails.
std::string run(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run: " + command);
    std::string out;
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
        out.append(chunk, n);
    int status = pclose(pipe.release());
    if (status != 0)
        throw std::runtime_error("command failed (" + std::to_string(status) + "): " + command);
    return out;
}

std::string value_of(const std::string& output, const std::string& key)
{
    std::string tag = key + "=";
    size_t at = output.find(tag);
    if (at == std::string::npos)
        return {};
    size_t end = output.find('\n', at);
    return output.substr(at + tag.size(), end == std::string::npos ? std::string::npos : end - at - tag.size());
}

void set_or_restore(const char* name, bool had, const std::string& previous)
{
    if (had)
        setenv(name, previous.c_str(), 1);
    else
        unsetenv(name);
}

}  // namespace

std::string source_dir() { return CVX_TEST_SOURCE_DIR; }
std::string corpus_dir() { return CVX_TEST_XORG_CORPUS; }
std::string build_dir() { return CVX_TEST_BUILD_DIR; }

TempRoot::TempRoot()
{
    std::string base = build_dir() + "/test-roots";
    fs::create_directories(base);
    std::string pattern = base + "/root.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed under " + base);
    m_path = pattern;
    fs::create_directories(m_path + "/tmp");
    if (const char* old = getenv("CVXSCAPE_ROOT")) {
        m_had_previous = true;
        m_previous = old;
    }
    setenv("CVXSCAPE_ROOT", m_path.c_str(), 1);
}

TempRoot::~TempRoot()
{
    set_or_restore("CVXSCAPE_ROOT", m_had_previous, m_previous);
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

XServer::XServer(XServerOptions options)
{
    std::string command;
    for (const auto& [key, value] : options.server_env)
        command += key + "=" + shell_quote(value) + " ";
    command += shell_quote(source_dir() + "/scripts/xserver") + " start --layout " + shell_quote(options.layout);
    if (options.driver_emulator)
        command += " --emulator --module-dir " + shell_quote(build_dir() + "/emulation/driver");
    if (options.window_manager)
        command += " --wm";
    std::string base = build_dir() + "/test-xservers";
    fs::create_directories(base);
    std::string pattern = base + "/x.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed under " + base);
    m_dir = pattern;
    command += " --dir " + shell_quote(m_dir);
    std::string output = run(command);
    m_display = value_of(output, "DISPLAY");
    if (m_display.empty())
        throw std::runtime_error("the test X server did not report its display: " + output);
    if (const char* old = getenv("DISPLAY")) {
        m_had_display = true;
        m_previous_display = old;
    }
    setenv("DISPLAY", m_display.c_str(), 1);
}

XServer::~XServer()
{
    set_or_restore("DISPLAY", m_had_display, m_previous_display);
    try {
        run(shell_quote(source_dir() + "/scripts/xserver") + " stop " + shell_quote(m_dir));
    } catch (const std::exception&) {
        // Nothing more can be done from a destructor; the server dies with the run.
    }
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

std::string screenshot(const std::string& display, const std::string& name)
{
    std::string dir = build_dir() + "/screenshots";
    fs::create_directories(dir);
    std::string file = dir + "/" + name + ".png";
    run("import -display " + shell_quote(display) + " -window root " + shell_quote(file));
    return file;
}

void pump_events()
{
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return;  // the toolkit is not initialised: nothing to pump
    gdk_display_sync(display);
    for (int round = 0; round < 3; ++round) {
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
        gdk_display_sync(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

bool wait_until(const std::function<bool()>& pred, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        pump_events();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace cvx::test
