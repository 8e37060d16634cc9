// The program's entry point: start-up checks, the single-instance lock, the
// mode-switch lock held while the program runs, termination signals and
// shutdown. The configuration library's diagnostics (ErrorF, VErrorF) are in
// core/errorf.cpp.
// The library's section kind Screen must be declared before Xlib's type.
#include "config/config.h"
#include "app/startup.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtk/gtk.h>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>
#include <X11/extensions/xf86vmproto.h>

#include "core/exit_release.h"
#include "core/fd.h"
#include "core/globals.h"
#include "core/locked_screens.h"
#include "core/paths.h"
#include "core/x_error.h"
#include "hw/probe.h"
#include "shell/support.h"
#include "windows/windows.h"

// ------------------------------------------------------------------ signals

namespace {

// The handler may interrupt an Xlib call on pDisp, so it never touches
// Xlib. It writes ready-made unlock requests, one for each screen recorded as
// locked, followed by a request with a reply, on a connection of its own, and
// waits for that reply so that the server has carried out the unlocks before
// the process ends. write, poll, read and _exit are async-signal-safe.
constexpr size_t kUnlockSize = sz_xXF86VidModeLockModeSwitchReq;
constexpr size_t kSyncSize = 4;
int s_signal_fd = -1;
int s_signal_screens = 0;
unsigned char s_unlock_requests[cvx::kMaxLockedScreens][kUnlockSize];
unsigned char s_sync_request[kSyncSize];

bool prepare_signal_unlock(Display* display)
{
    int opcode = 0, event_base = 0, error_base = 0;
    if (!XQueryExtension(display, XF86VIDMODENAME, &opcode, &event_base, &error_base))
        return false;

    const int screens = std::min(ScreenCount(display), cvx::kMaxLockedScreens);
    for (int screen = 0; screen < screens; ++screen) {
        xXF86VidModeLockModeSwitchReq req = {};
        req.reqType = static_cast<CARD8>(opcode);
        req.xf86vidmodeReqType = X_XF86VidModeLockModeSwitch;
        req.length = sz_xXF86VidModeLockModeSwitchReq / 4;
        req.screen = static_cast<CARD16>(screen);
        req.lock = 0;
        std::memcpy(s_unlock_requests[screen], &req, kUnlockSize);
    }

    // GetInputFocus: opcode 43, no data, length 1 (in 4-byte units).
    const uint16_t one = 1;
    s_sync_request[0] = 43;
    s_sync_request[1] = 0;
    std::memcpy(s_sync_request + 2, &one, 2);

    XSync(display, False);
    s_signal_screens = screens;
    s_signal_fd = ConnectionNumber(display);
    return true;
}

void unlock_from_signal_handler()
{
    if (s_signal_fd < 0)
        return;
    // One write for all requests; the record is read here, not copied at
    // start-up, so that screens locked later are covered.
    unsigned char requests[sizeof s_unlock_requests + kSyncSize];
    size_t length = 0;
    int sent = 0;
    for (int screen = 0; screen < s_signal_screens; ++screen) {
        if (!cvx::screen_locked(screen))
            continue;
        std::memcpy(requests + length, s_unlock_requests[screen], kUnlockSize);
        length += kUnlockSize;
        ++sent;
    }
    std::memcpy(requests + length, s_sync_request, kSyncSize);
    length += kSyncSize;
    if (!cvx::write_all(s_signal_fd, {reinterpret_cast<const char*>(requests), length}))
        return;
    // Packets from the server are 32 bytes (this connection selects no
    // events): at most an error for each unlock, then the focus reply.
    unsigned char packet[32];
    for (int packets = 0; packets <= sent; ++packets) {
        size_t got = 0;
        while (got < sizeof packet) {
            pollfd pfd = {s_signal_fd, POLLIN, 0};
            int ready = poll(&pfd, 1, 2000);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return;
            ssize_t n = read(s_signal_fd, packet + got, sizeof packet - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            got += static_cast<size_t>(n);
        }
        if (packet[0] == 1)   // X_Reply
            return;
    }
}

constexpr int kTerminationSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

void block_termination_signals(int how)
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kTerminationSignals)
        sigaddset(&set, s);
    sigprocmask(how, &set, nullptr);
}

void install_signal_handlers()
{
    struct sigaction sa = {};
    sa.sa_handler = exitOnSignal;
    sigemptyset(&sa.sa_mask);
    // One signal at a time: a second one must not interrupt the unlock.
    for (int s : kTerminationSignals)
        sigaddset(&sa.sa_mask, s);
    for (int s : kTerminationSignals)
        sigaction(s, &sa, nullptr);
}

void unlock_before_exit()
{
    if (pDisp)
        restoreModeSwitch(pDisp);
}

// An exception that escapes to the runtime ends the program; the hot-keys
// are given back first.
[[noreturn]] void terminate_unlocked()
{
    cvx::run_exit_release();
    std::abort();
}

}  // namespace

void restoreModeSwitch(Display* display)
{
    if (display) {
        // The default screen, and every other screen a mode switch of the
        // monitor settings window locked again.
        const int screens = std::min(ScreenCount(display), cvx::kMaxLockedScreens);
        cvx::XErrorScope scope(display);
        for (int screen = 0; screen < screens; ++screen) {
            if (screen == DefaultScreen(display) || cvx::screen_locked(screen))
                XF86VidModeLockModeSwitch(display, screen, 0);
        }
        // A round trip, not a flush: the server may drop a closing client's
        // unread requests, which would leave the hot-keys locked for good.
        (void)scope.failed();
        for (int screen = 0; screen < screens; ++screen)
            cvx::mark_screen_locked(screen, false);
    }
    mode_line.flags &= ~(1u << 31);
}

void exitOnSignal(int signo)
{
    unlock_from_signal_handler();
    mode_line.flags &= ~(1u << 31);
    _exit(3);
}

// ------------------------------------------------------------------ checks

bool cvx_vidmode_version_ok(int major, int minor)
{
    if (major < 0)
        return false;
    if (major == 0 && minor <= 5)
        return false;
    return true;
}

int cvx_take_instance_lock(const char* path)
{
    // A fixed name in a world-writable directory, opened by root: no
    // symbolic links, no FIFOs (O_NONBLOCK keeps a FIFO from hanging the
    // open), no file of another user, no extra hard links.
    cvx::Fd fd = cvx::open_fd(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (!fd)
        return -1;
    struct stat st = {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1)
        return -1;
    if ((st.st_mode & 07777) != 0600)
        fchmod(fd.get(), 0600);
    if (lockf(fd.get(), F_TLOCK, 0) != 0)
        return -2;
    return fd.release();
}

// ------------------------------------------------------------------ main

int cvx_main(int argc, char** argv)
{
    if (getuid() != 0) {
        printf("\ncvxscape : You need root privileges to run this application.\n");
        printf("Please, log in as root or execute \"su root\" before running it again...\n\n");
        return 0;
    }

    const std::string lock_path = cvx::paths::lock_file();
    int lock_fd = cvx_take_instance_lock(lock_path.c_str());
    if (lock_fd == -1) {
        printf("\nError Opening file\n");
        return 0;
    }
    if (lock_fd == -2) {
        printf("\ncvxscape: Twinscape is already running on this system\n");
        return 0;
    }
    // lock_fd stays open (and locked) until the process ends.

    // The program never draws with GL; without this the toolkit loads the GL
    // stack (a software renderer and LLVM, some 55 MiB resident) and never
    // uses it. Read by GDK when it initialises, so before gtk_init.
    g_setenv("GDK_GL", "disable", TRUE);
    // The windows, the message boxes' layer request and pDisp must all be on
    // one X server; a Wayland session's variables kept through sudo must not
    // take the windows elsewhere. GDK prefers its environment variable to
    // the allowed list and opens nothing when the two disagree.
    gdk_set_allowed_backends("x11");
    g_unsetenv("GDK_BACKEND");
    // gtk_set_locale is gone from GTK 3; gtk_init sets the locale itself.
    gtk_init(&argc, &argv);
    cvx::install_x_error_handler();

    // The display the toolkit opened: $DISPLAY, or its --display option.
    // Nothing before gtk_init needs the connection, and gtk_init ends the
    // program when there is no display.
    pDisp = XOpenDisplay(gdk_display_get_name(gdk_display_get_default()));

    for (const std::string& dir : cvx::paths::pixmap_dirs())
        add_pixmap_directory(dir.c_str());
    set_own_pixmap_directories(cvx::paths::own_pixmap_dirs());

    int major = 0, minor = 0;
    if (!pDisp || !XF86VidModeQueryVersion(pDisp, &major, &minor)) {
        fprintf(stderr, "cvxXconf : Unable to query video extension version...\n");
        return 2;
    }
    int event_base = 0, error_base = 0;
    if (!XF86VidModeQueryExtension(pDisp, &event_base, &error_base)) {
        fprintf(stderr, "cvxXconf : Unable to query video extension information...\n");
        return 2;
    }
    if (!cvx_vidmode_version_ok(major, minor)) {
        fprintf(stderr,
                "cvxXconf : Your Xserver is running an old XFree86-VidModeExtension  : version (%d.%d).\n",
                major, minor);
        fprintf(stderr, "Minimum required version is %d.%d\n\nPlease upgrade and run this program again.", 0,
                6);
        return 2;
    }

    // The signal handler's own connection, ready before the lock is taken.
    Display* signal_display = XOpenDisplay(DisplayString(pDisp));
    if (!signal_display || !prepare_signal_unlock(signal_display))
        g_warning("cannot prepare the mode-switch unlock for termination signals");

    // No termination signal between taking the lock and catching it.
    block_termination_signals(SIG_BLOCK);
    bool locked;
    {
        cvx::XErrorScope scope(pDisp);
        cvx::mark_screen_locked(DefaultScreen(pDisp), true);
        locked = XF86VidModeLockModeSwitch(pDisp, DefaultScreen(pDisp), 1) && !scope.failed();
    }
    if (!locked) {
        cvx::mark_screen_locked(DefaultScreen(pDisp), false);
        block_termination_signals(SIG_UNBLOCK);
        fprintf(stderr, "cvxXconf : Failed to disable mode-switch hot-keys.\n");
        return 2;
    }
    install_signal_handlers();
    block_termination_signals(SIG_UNBLOCK);

    cvx::set_exit_release(unlock_before_exit);
    std::set_terminate(terminate_unlocked);
    confMessageHook = MsgBox;

    int dot_clock = 0;
    if (!XF86VidModeGetModeLine(pDisp, DefaultScreen(pDisp), &dot_clock, &mode_line)) {
        fprintf(stderr, "cvxXconf : Unable to get mode informations.\n");
        restoreModeSwitch(pDisp);
        return 2;
    }
    device_info[0] = static_cast<uint32_t>(dot_clock);

    GtkWidget* win = create_winOpen();
    set_window_back(win, lookup_widget(win, "fixed5"));
    gtk_widget_show(win);
    gtk_main();

    restoreModeSwitch(pDisp);
    return 0;
}
