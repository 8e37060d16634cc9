// Helpers of the end-to-end tests: the real program under the test X server,
// driven with xdotool at the widgets' positions, and the files it leaves.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace cvx::test {

class TempRoot;

// Centre of a widget in its window's coordinates.
struct Spot { int x, y; };

// The whole file ("" when it cannot be read).
std::string read_file(const std::string& path);

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

// A real pointer click, then `settle` seconds for the program to handle it
// before the next look at the screen.
void click_at(const std::string& window, int x, int y, const std::string& settle = "0.3");

// The real X server reads the file: it gets as far as loading the board's
// driver (missing here), which it only does after a clean parse. Works in
// `root`'s xorg-check directory.
bool xorg_parses(const TempRoot& root, const std::string& file, std::string& log_text);

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
