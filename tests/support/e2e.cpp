#include "support/e2e.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/xserver.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace cvx::test {

std::string sh(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return {};
    std::string out;
    char chunk[256];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
        out.append(chunk, n);
    return out;
}

bool eventually(const std::function<bool()>& pred, int timeout_ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::string> windows_named(const std::string& title)
{
    std::istringstream ids(sh("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
    std::vector<std::string> out;
    for (std::string id; ids >> id;)
        out.push_back(id);
    return out;
}

Size window_size(const std::string& id)
{
    Size size;
    std::istringstream geo(sh("xdotool getwindowgeometry --shell " + id + " 2>/dev/null"));
    for (std::string line; std::getline(geo, line);) {
        if (line.rfind("WIDTH=", 0) == 0)
            size.width = std::atoi(line.c_str() + 6);
        if (line.rfind("HEIGHT=", 0) == 0)
            size.height = std::atoi(line.c_str() + 7);
    }
    return size;
}

std::string wait_for_window(const std::string& title, const std::vector<std::string>& except)
{
    std::string found;
    eventually([&] {
        for (const std::string& id : windows_named(title)) {
            if (std::find(except.begin(), except.end(), id) == except.end()) {
                found = id;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool window_gone(const std::string& id)
{
    return eventually([&] {
        const auto ids = windows_named(".*");
        return std::find(ids.begin(), ids.end(), id) == ids.end();
    }, 10000);
}

void click(const std::string& window, Spot spot)
{
    sh("xdotool mousemove --window " + window + " " + std::to_string(spot.x) + " " + std::to_string(spot.y) +
       " click 1 2>/dev/null");
}

bool click(const std::string& window, Spot spot, const std::function<bool()>& effect, int timeout_ms)
{
    click(window, spot);
    return eventually(effect, timeout_ms);
}

void key(const std::string& names)
{
    sh("xdotool key --delay 50 " + names + " 2>/dev/null");
}

std::string open_main_window()
{
    const std::string open = wait_for_window("Corvex Twinscape - Configuration File");
    if (open.empty())
        return {};
    click(open, spot::kOpenOk);
    if (!window_gone(open))
        return {};
    return wait_for_window("Corvex Twinscape");
}

Program::Program(const std::string& board, Output output)
{
    int fds[2] = {-1, -1};
    if (output == Output::capture && pipe(fds) != 0)
        throw std::runtime_error("pipe");
    m_pid = fork();
    if (m_pid == 0) {
        if (output == Output::capture) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
        } else if (output == Output::discard) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
        }
        setenv("CVXSCAPE_BOARD", (source_dir() + "/emulation/boards/" + board).c_str(), 1);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const std::string binary = build_dir() + "/src/app/cvxscape";
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (output == Output::capture) {
        close(fds[1]);
        m_out = fds[0];
        fcntl(m_out, F_SETFL, O_NONBLOCK);
    }
}

Program::~Program()
{
    if (m_pid > 0 && !m_done) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0)
        close(m_out);
}

bool Program::running()
{
    int status = 0;
    if (!m_done && waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_done = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return !m_done;
}

void Program::signal(int signo)
{
    if (running())
        kill(m_pid, signo);
}

int Program::wait_exit(int timeout_ms)
{
    // The pipe is read while waiting, so that a full one cannot hold the program up.
    eventually([&] {
        drain();
        return !running();
    }, timeout_ms);
    drain();
    return m_done ? m_status : -1;
}

const std::string& Program::out()
{
    drain();
    return m_text;
}

void Program::drain()
{
    if (m_out < 0)
        return;
    char buf[512];
    ssize_t n;
    while ((n = read(m_out, buf, sizeof buf)) > 0)
        m_text.append(buf, static_cast<size_t>(n));
}

int run_tests_on_x_server(int argc, char** argv, const XServerOptions& options, std::unique_ptr<TempRoot>& root,
                          std::unique_ptr<XServer>& server)
{
    ::testing::InitGoogleTest(&argc, argv);
    root = std::make_unique<TempRoot>();
    try {
        server = std::make_unique<XServer>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no test X server: %s\n", e.what());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    server.reset();
    root.reset();
    return result;
}

} // namespace cvx::test
