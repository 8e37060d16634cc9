// A private X server (Xorg with the dummy video driver) for the tests that
// need one, and the small helpers that drive windows synchronously.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cvx::test {

struct XServerOptions {
    // "one": one screen; "xinerama": two heads under Xinerama (ScreenCount 1);
    // "two": two X screens without Xinerama.
    std::string layout = "one";
    bool driver_emulator = false;   // load the board driver's emulator module
    bool window_manager = false;    // start a small window manager on it
    // Extra environment for the server process (for example the emulator's
    // CVX_EMU_* answers); the server also inherits the test's environment.
    std::vector<std::pair<std::string, std::string>> server_env;
};

// A private root for the program's fixed paths (created with tmp/ inside).
// While it lives, CVXSCAPE_ROOT points at it; removed on destruction.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& rel) const { return m_path + "/" + rel; }
private:
    std::string m_path;
    std::string m_previous;
    bool m_had_previous = false;
};

// Starts the server on a free display and sets DISPLAY for this process;
// stops it (and restores DISPLAY) on destruction. Throws std::runtime_error
// when the server does not come up.
class XServer {
public:
    explicit XServer(XServerOptions options = {});
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    const std::string& display() const { return m_display; }
    const std::string& dir() const { return m_dir; }       // the server's files (config, log)
private:
    std::string m_display, m_dir, m_previous_display;
    bool m_had_display = false;
};

// Takes a screenshot of the whole display into <build>/screenshots/<name>.png
// (for people to look at; never compared). Returns the file written.
std::string screenshot(const std::string& display, const std::string& name);

// Runs the toolkit's main loop until nothing is pending, with an XSync of the
// default display first, so that requests and their events have arrived.
void pump_events();
// Pumps events until `pred` holds or `timeout_ms` passes; returns pred().
bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000);

// Paths of the source tree for tests.
std::string source_dir();      // the repository
std::string corpus_dir();      // real-world configuration files (CVX_XORG_CORPUS); may be absent
std::string build_dir();       // the build tree

}  // namespace cvx::test
