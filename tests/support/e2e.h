// Helpers of the end-to-end tests: the real program under the test X server,
// driven with xdotool at the widgets' positions, and the files it leaves.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/spots.h"
#include "support/xorg_check.h"
#include "support/xserver.h"

namespace cvx::test {

// The main of an end-to-end test program: a private root and a private X
// server started with `options`, kept in `root` and `server` while the
// tests run. 1 (and why, on standard error) when the server does not come up.
int run_tests_on_x_server(int argc, char** argv, const XServerOptions& options, std::unique_ptr<TempRoot>& root,
                          std::unique_ptr<XServer>& server);

// Output of a shell command ("" when it fails).
std::string sh(const std::string& command);

// Polls `pred` every 50 ms until it holds or the time is up; its last answer.
bool eventually(const std::function<bool()>& pred, int timeout_ms = 20000);

// Ids of the visible windows with exactly this title (a regular expression).
std::vector<std::string> windows_named(const std::string& title);

// Width and height of a window (0 when it is gone).
struct Size { int width = 0, height = 0; };
Size window_size(const std::string& id);

// Waits for a window of that title other than those in `except`; "" if none came.
std::string wait_for_window(const std::string& title, const std::vector<std::string>& except = {});

// Whether the window is no longer shown within 10 s.
bool window_gone(const std::string& id);

// A real pointer click at a widget of the window. The program handles input
// in order, so a following click or key needs no pause; a look from outside
// (a window, a file, the server's mode) waits for its effect: with `effect`,
// until it holds (false when it never did).
void click(const std::string& window, Spot spot);
bool click(const std::string& window, Spot spot, const std::function<bool()>& effect, int timeout_ms = 20000);
// Real key presses (XTEST) to the window that has the focus, e.g. "End space".
void key(const std::string& names);

// Accepts the configuration-file window's proposal and returns the main
// window; "" when either window did not come.
std::string open_main_window();

// The real program (the build's cvxscape) with a board file of
// emulation/boards, started at construction and killed at destruction if
// still running.
class Program {
public:
    enum class Output { inherit, discard, capture };

    explicit Program(const std::string& board = "corvex-0525-r80.board", Output output = Output::inherit);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool running();
    void signal(int signo);
    // The exit status (128 + signal when killed), or -1 when it has not
    // ended within the time.
    int wait_exit(int timeout_ms = 20000);
    // What it wrote to standard output so far (with Output::capture).
    const std::string& out();

private:
    void drain();

    pid_t m_pid = -1;
    int m_out = -1;
    bool m_done = false;
    int m_status = -1;
    std::string m_text;
};

} // namespace cvx::test
