// The program as a user meets it: the real binary on a private X server,
// its refusals, its single instance, and that every way out leaves the
// server's mode-switch hot-keys working.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "support/hotkeys.h"
#include "support/xserver.h"

namespace fs = std::filesystem;

namespace {

cvx::test::XServer* g_server = nullptr;

// A child process with its standard output and error collected.
class Program {
public:
    explicit Program(std::vector<std::string> argv, std::string cwd = {})
    {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            if (!cwd.empty() && chdir(cwd.c_str()) != 0)
                _exit(126);
            std::vector<char*> args;
            for (std::string& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~Program()
    {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            wait();
        }
        close(m_out);
        close(m_err);
    }
    void signal(int signo) { kill(m_pid, signo); }
    // Waits for the end; returns the exit status, or 128 + signal.
    int wait()
    {
        if (!m_status) {
            drain_until_exit();
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            drain(0);
        }
        return *m_status;
    }
    const std::string& out() { return m_stdout; }
    const std::string& err() { return m_stderr; }
private:
    void drain(int timeout_ms)
    {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        while (poll(fds, 2, timeout_ms) > 0) {
            bool any = false;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].revents & (POLLIN | POLLHUP)) {
                    char buf[4096];
                    ssize_t n = read(fds[i].fd, buf, sizeof buf);
                    if (n > 0) {
                        (i == 0 ? m_stdout : m_stderr).append(buf, static_cast<size_t>(n));
                        any = true;
                    } else {
                        fds[i].fd = -1;
                    }
                }
            }
            if (!any)
                break;
        }
    }
    void drain_until_exit() { drain(60000); }
    pid_t m_pid = -1;
    int m_out = -1, m_err = -1;
    std::optional<int> m_status;
    std::string m_stdout, m_stderr;
};

std::string program_path() { return CVX_PROGRAM; }

using cvx::test::ModeSwitcher;

constexpr const char* kOpenTitle = "Corvex Twinscape - Configuration File";

bool wait_for_window(ModeSwitcher& x, const std::string& title)
{
    for (int i = 0; i < 1500; ++i) {   // a generous bound for a sanitizer build
        if (x.has_window(title))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void click(const std::string& title, int x, int y)
{
    const std::string cmd = "xdotool search --name '^" + title + "$' mousemove --window %1 " +
                            std::to_string(x) + " " + std::to_string(y) + " click 1 >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::make_unique<cvx::test::TempRoot>();
        // Each test starts with the hot-keys working.
        ModeSwitcher x;
        ASSERT_TRUE(x.switch_works());
    }
    void TearDown() override { root.reset(); }
    std::string lock() { return root->file("tmp/cvxscape.lock"); }
    std::unique_ptr<cvx::test::TempRoot> root;
};

TEST_F(Startup, NonRootIsRefusedBeforeTouchingAnything)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    ASSERT_EQ(chmod(root->path().c_str(), 0755), 0);
    Program p({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", program_path()});
    EXPECT_EQ(p.wait(), 0);
    EXPECT_EQ(p.out(), "\ncvxscape : You need root privileges to run this application.\n"
                       "Please, log in as root or execute \"su root\" before running it again...\n\n");
    EXPECT_FALSE(fs::exists(lock()));
}

TEST_F(Startup, UnusableLockFileIsRefused)
{
    fs::create_symlink(root->file("elsewhere"), lock());
    Program p({program_path()});
    EXPECT_EQ(p.wait(), 0);
    EXPECT_EQ(p.out(), "\nError Opening file\n");
    EXPECT_FALSE(fs::exists(root->file("elsewhere")));
}

TEST_F(Startup, SecondCopyIsRefusedAndCancelEndsTheFirstCleanly)
{
    ModeSwitcher x;
    Program first({program_path()});
    ASSERT_TRUE(wait_for_window(x, kOpenTitle)) << first.err();
    EXPECT_FALSE(x.switch_works()) << "the hot-keys are not locked while the program runs";

    Program second({program_path()});
    EXPECT_EQ(second.wait(), 0);
    EXPECT_EQ(second.out(), "\ncvxscape: Twinscape is already running on this system\n");

    cvx::test::screenshot(g_server->display(), "shell-program-winopen");
    click(kOpenTitle, 80 + 31, 192 + 12);   // Cancel
    EXPECT_EQ(first.wait(), 0) << first.err();
    EXPECT_TRUE(x.switch_works());
}

TEST_F(Startup, MustExitMessageBoxEndsWithTheHotKeysUnlocked)
{
    ModeSwitcher x;
    Program p({program_path()});
    ASSERT_TRUE(wait_for_window(x, kOpenTitle)) << p.err();
    // The proposal is the request text: Ok gives the invalid-file box.
    click(kOpenTitle, 296 + 31, 192 + 12);
    ASSERT_TRUE(wait_for_window(x, "Corvex Twinscape")) << p.err();
    EXPECT_FALSE(x.switch_works());
    cvx::test::screenshot(g_server->display(), "shell-program-invalid-file");
    click("Corvex Twinscape", 160 + 44, 136 + 16);   // OK
    EXPECT_EQ(p.wait(), 0) << p.err();
    EXPECT_NE(p.out().find("Corvex Twinscape: Couldn't open configuration file.\n"), std::string::npos);
    EXPECT_TRUE(x.switch_works());
}

TEST_F(Startup, EachTerminationSignalUnlocksAndEndsWithStatusThree)
{
    for (int signo : {SIGTERM, SIGINT, SIGQUIT, SIGHUP}) {
        ModeSwitcher x;
        Program p({program_path()});
        ASSERT_TRUE(wait_for_window(x, kOpenTitle)) << p.err();
        ASSERT_FALSE(x.switch_works()) << strsignal(signo);
        p.signal(signo);
        EXPECT_EQ(p.wait(), 3) << strsignal(signo) << p.err();
        EXPECT_TRUE(x.switch_works()) << "hot-keys still locked after " << strsignal(signo);
    }
}

// Runs the program with `argv`, checks that it holds the hot-keys of the
// test server while its first window is up there (and whatever `meanwhile`
// checks), ends it with Cancel or with `signo`, and checks that they work
// again.
void runs_and_locks_on_the_test_server(std::vector<std::string> argv, const std::function<void()>& meanwhile = {},
                                       int signo = 0)
{
    ModeSwitcher x(g_server->display().c_str());
    Program p(std::move(argv));
    ASSERT_TRUE(wait_for_window(x, kOpenTitle)) << "ended with " << p.wait() << ": " << p.err();
    EXPECT_FALSE(x.switch_works()) << "the hot-keys of the program's display are not locked";
    if (meanwhile)
        meanwhile();
    if (signo) {
        p.signal(signo);
        EXPECT_EQ(p.wait(), 3) << p.err();
    } else {
        click(kOpenTitle, 80 + 31, 192 + 12);   // Cancel
        EXPECT_EQ(p.wait(), 0) << p.err();
    }
    EXPECT_TRUE(x.switch_works());
}

TEST_F(Startup, TheDisplayOptionTakesTheLockToThatDisplay)
{
    // $DISPLAY names another, working server: the program must leave it alone.
    cvx::test::XServer other;
    // The clicks of this process go to the test server; `other` puts the
    // previous value back when it goes.
    setenv("DISPLAY", g_server->display().c_str(), 1);
    ModeSwitcher y(other.display().c_str());
    // The signal handler's own connection must go there too.
    for (int signo : {0, SIGTERM}) {
        SCOPED_TRACE(signo ? "ended by a signal" : "ended by Cancel");
        runs_and_locks_on_the_test_server(
            {"env", "DISPLAY=" + other.display(), program_path(), "--display=" + g_server->display()},
            [&] { EXPECT_TRUE(y.switch_works()) << "$DISPLAY's server was locked"; }, signo);
    }
}

TEST_F(Startup, AWaylandSessionsVariablesDoNotTakeTheWindowsAway)
{
    // As `sudo -E` keeps them from a Wayland desktop.
    runs_and_locks_on_the_test_server(
        {"env", "GDK_BACKEND=wayland", "WAYLAND_DISPLAY=cvx-no-such-compositor", program_path()});
}

TEST_F(Startup, InstalledCopyFindsItsPictures)
{
    // Outside the build tree, where a copy would also see the repository's pictures.
    std::string pattern = (fs::temp_directory_path() / "cvxscape-install.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path prefix = pattern;
    struct Cleanup {
        fs::path p;
        ~Cleanup() { std::error_code ec; fs::remove_all(p, ec); }
    } cleanup{prefix};
    const fs::path install_log = prefix / "install.log";
    const std::string install = "cmake --install '" + cvx::test::build_dir() + "' --prefix '" + prefix.string() +
                                "' >'" + install_log.string() + "'";
    ASSERT_EQ(std::system(install.c_str()), 0);
    {
        // Outside polkit's prefix the action stays in the prefix, and the install says why.
        std::ifstream in(install_log);
        const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(log.find("polkit action NOT active: polkit reads actions only from"), std::string::npos) << log;
    }
    const fs::path binary = prefix / "bin/cvxscape";
    ASSERT_TRUE(fs::exists(binary));
    EXPECT_TRUE(fs::exists(prefix / "share/cvxscape/pixmaps/corvex.xpm"));
    EXPECT_TRUE(fs::exists(prefix / "share/applications/cvxscape.desktop"));
    EXPECT_TRUE(fs::exists(prefix / "share/man/man1/cvxscape.1"));
    EXPECT_TRUE(fs::exists(prefix / "share/man/man1/xf86conf.1"));
    EXPECT_TRUE(fs::exists(prefix / "share/polkit-1/actions/org.cvxscape.cvxscape.policy"));
    EXPECT_TRUE(fs::exists(prefix / "share/icons/hicolor/48x48/apps/cvxscape.png"));
    EXPECT_TRUE(fs::exists(prefix / "share/metainfo/org.cvxscape.cvxscape.metainfo.xml"));
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        const std::string validate =
            "desktop-file-validate '" + (prefix / "share/applications/cvxscape.desktop").string() + "'";
        EXPECT_EQ(std::system(validate.c_str()), 0) << validate;
    }

    auto run_and_cancel = [&](std::string& err) {
        ModeSwitcher x;
        // From the prefix, so "../pixmaps" leads nowhere.
        Program p({binary.string()}, prefix.string());
        ASSERT_TRUE(wait_for_window(x, kOpenTitle)) << p.err();
        click(kOpenTitle, 80 + 31, 192 + 12);
        EXPECT_EQ(p.wait(), 0);
        err = p.err();
    };
    std::string err;
    run_and_cancel(err);
    EXPECT_EQ(err.find("Couldn't find pixmap file"), std::string::npos) << err;

    // Without the installed pictures the same run misses them: the check above can fail.
    fs::remove_all(prefix / "share/cvxscape/pixmaps");
    run_and_cancel(err);
    EXPECT_NE(err.find("Couldn't find pixmap file: corvex.xpm"), std::string::npos) << err;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    try {
        cvx::test::XServer server;
        g_server = &server;
        int rc = RUN_ALL_TESTS();
        g_server = nullptr;
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
