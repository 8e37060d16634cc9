// The shared window helpers, the message box and the configuration-file
// window, on a private X server.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "xf86config/xf86config.h"
#include "config/config.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "core/c_ptr.h"
#include "core/globals.h"
#include "windows/window_state.h"
#include "core/paths.h"
#include "app/startup.h"
#include "core/x_error.h"
#include "shell/support.h"
#include "support/files.h"
#include "support/xserver.h"
#include "windows/win_open.h"
#include "windows/windows.h"

namespace fs = std::filesystem;

namespace {

cvx::test::XServer* g_server = nullptr;

// Every warning logged through GLib, kept for the tests to read.
std::vector<std::string> g_log;

GLogWriterOutput record_log(GLogLevelFlags level, const GLogField* fields, gsize n, gpointer) noexcept
{
    const bool warning_or_worse = level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);
    for (gsize i = 0; i < n && warning_or_worse; ++i) {
        if (std::string(fields[i].key) == "MESSAGE")
            g_log.emplace_back(static_cast<const char*>(fields[i].value));
    }
    return g_log_writer_standard_streams(level, fields, n, nullptr);
}

bool logged(const std::string& text)
{
    for (const auto& line : g_log)
        if (line == text)
            return true;
    return false;
}

void write_file(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A w x h XPM of one colour.
std::string xpm(int w, int h)
{
    std::string s = "/* XPM */\nstatic const char *x[] = {\n\"" + std::to_string(w) + " " + std::to_string(h) +
                    " 1 1\",\n\"a c #FF0000\",\n";
    for (int y = 0; y < h; ++y)
        s += "\"" + std::string(w, 'a') + "\",\n";
    return s + "};\n";
}

struct Size {
    int width, height;
};

Size image_size(GtkWidget* image)
{
    if (!GTK_IS_IMAGE(image) || gtk_image_get_storage_type(GTK_IMAGE(image)) != GTK_IMAGE_PIXBUF)
        return {0, 0};
    GdkPixbuf* p = gtk_image_get_pixbuf(GTK_IMAGE(image));
    return {gdk_pixbuf_get_width(p), gdk_pixbuf_get_height(p)};
}

// Creates the pixmap and drops it again; returns the picture's size.
Size load(const char* name)
{
    GtkWidget* image = create_pixmap(nullptr, name);
    EXPECT_NE(image, nullptr);
    g_object_ref_sink(image);
    Size s = image_size(image);
    g_object_unref(image);
    return s;
}

GtkAllocation allocation(GtkWidget* window, const char* name)
{
    GtkAllocation a = {};
    GtkWidget* w = lookup_widget(window, name);
    EXPECT_NE(w, nullptr) << name;
    if (w)
        gtk_widget_get_allocation(w, &a);
    return a;
}

void expect_geometry(GtkWidget* window, const char* name, int x, int y, int w, int h)
{
    GtkAllocation a = allocation(window, name);
    EXPECT_EQ(a.x, x) << name;
    EXPECT_EQ(a.y, y) << name;
    EXPECT_EQ(a.width, w) << name;
    EXPECT_EQ(a.height, h) << name;
}

void root_origin(GtkWidget* window, int& x, int& y)
{
    gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
}

class PixmapSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        base = fs::path(cvx::test::build_dir()) / "test-roots" / ("pixmaps-" + std::to_string(getpid()));
        fs::remove_all(base);
        fs::create_directories(base);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::current_path(cvx::test::build_dir(), ec);
        fs::remove_all(base, ec);
        set_own_pixmap_directories({});
    }
    fs::path base;
};

// What the picture was replaced with between check and read: this file
// moved over it, or (empty) a FIFO that nobody writes.
std::string g_swap_in;

void swap_checked_picture(const char* path) noexcept
{
    if (g_swap_in.empty()) {
        unlink(path);
        mkfifo(path, 0644);
    } else {
        rename(g_swap_in.c_str(), path);
    }
}

// load() in a child process with the swap hook set, so that a load that
// blocks fails the test instead of stopping the run. The picture's width
// (-1 when the child did not finish within ten seconds); the child's
// warnings replace g_log.
int load_in_child(const char* name)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        g_log.clear();
        cvx_test_pixmap_checked = swap_checked_picture;
        std::string answer = std::to_string(load(name).width) + "\n";
        for (const auto& line : g_log)
            answer += line + "\n";
        const bool written = write(out[1], answer.data(), answer.size()) == ssize_t(answer.size());
        _exit(written ? 0 : 1);
    }
    close(out[1]);
    std::string answer;
    char chunk[512];
    pollfd p = {out[0], POLLIN, 0};
    for (ssize_t n = 1; n > 0 && poll(&p, 1, 10000) == 1;)
        if ((n = read(out[0], chunk, sizeof chunk)) > 0)
            answer.append(chunk, size_t(n));
    close(out[0]);
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    g_log.clear();
    size_t end = answer.find('\n');
    if (end == std::string::npos)
        return -1;
    const int width = std::stoi(answer.substr(0, end));
    for (size_t start = end + 1; (end = answer.find('\n', start)) != std::string::npos; start = end + 1)
        g_log.push_back(answer.substr(start, end - start));
    return width;
}

TEST_F(PixmapSearch, EmptyNameGivesThePlaceholderSilently)
{
    Size s = load("");
    EXPECT_EQ(s.width, 1);
    EXPECT_EQ(s.height, 1);
    s = load(nullptr);
    EXPECT_EQ(s.width, 1);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(PixmapSearch, LastRegisteredDirectoryWinsAndOnlyRegularFilesCount)
{
    write_file(base / "first/probe.xpm", xpm(2, 2));
    write_file(base / "second/probe.xpm", xpm(3, 3));
    write_file(base / "first/dir.xpm", xpm(4, 4));
    fs::create_directories(base / "second/dir.xpm");   // same name, not a file
    add_pixmap_directory((base / "first").c_str());
    add_pixmap_directory((base / "second").c_str());

    EXPECT_EQ(load("probe.xpm").width, 3);
    EXPECT_EQ(load("dir.xpm").width, 4);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(PixmapSearch, ParentPixmapsFolderIsTheLastResort)
{
    write_file(base / "pixmaps/fallback.xpm", xpm(5, 5));
    write_file(base / "pixmaps/shadowed.xpm", xpm(5, 5));
    write_file(base / "registered/shadowed.xpm", xpm(6, 6));
    fs::create_directories(base / "work");
    add_pixmap_directory((base / "registered").c_str());
    fs::current_path(base / "work");

    EXPECT_EQ(load("fallback.xpm").width, 5);
    EXPECT_EQ(load("shadowed.xpm").width, 6);
}

TEST_F(PixmapSearch, MissingAndBrokenFilesGiveThePlaceholderWithAWarning)
{
    EXPECT_EQ(load("no-such-picture.xpm").width, 1);
    EXPECT_TRUE(logged("Couldn't find pixmap file: no-such-picture.xpm"));

    write_file(base / "broken/broken.xpm", "/* XPM */ this is not a picture");
    add_pixmap_directory((base / "broken").c_str());
    EXPECT_EQ(load("broken.xpm").width, 1);
    EXPECT_TRUE(logged("Error loading pixmap file: " + (base / "broken/broken.xpm").string()));

    // A picture in another format under an XPM name: only XPM is parsed.
    cvx::CPtr<GdkPixbuf, g_object_unref> red(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 6, 6));
    gdk_pixbuf_fill(red.get(), 0xff0000ff);
    gchar* raw = nullptr;
    gsize raw_size = 0;
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(red.get(), &raw, &raw_size, "png", nullptr, nullptr));
    cvx::CPtr<gchar, g_free> png(raw);
    write_file(base / "broken/png.xpm", std::string(png.get(), raw_size));
    EXPECT_EQ(load("png.xpm").width, 1);
    EXPECT_TRUE(logged("Error loading pixmap file: " + (base / "broken/png.xpm").string()));

    // A valid picture that goes on for megabytes is not read.
    write_file(base / "broken/huge.xpm", xpm(2, 2));
    ASSERT_EQ(truncate((base / "broken/huge.xpm").c_str(), 64 << 20), 0);
    EXPECT_EQ(load("huge.xpm").width, 1);
    EXPECT_TRUE(logged("Error loading pixmap file: " + (base / "broken/huge.xpm").string()));
}

// The name may change between the check and the read: a link to a picture
// of root turned into a FIFO, a checked picture replaced by one of another
// user. Links and FIFOs are never opened as pictures, and what is parsed is
// the file that was checked.
TEST_F(PixmapSearch, TheFileCheckedIsTheFileReadWithoutBlocking)
{
    write_file(base / "elsewhere/real.xpm", xpm(9, 9));
    write_file(base / "swap/checked.xpm", xpm(9, 9));
    write_file(base / "elsewhere/planted.xpm", xpm(3, 3));
    if (geteuid() == 0) {
        ASSERT_EQ(chown((base / "elsewhere/planted.xpm").c_str(), 65534, 65534), 0);
    }
    fs::create_symlink(base / "elsewhere/real.xpm", base / "swap/link.xpm");
    ASSERT_EQ(mkfifo((base / "swap/fifo.xpm").c_str(), 0644), 0);
    add_pixmap_directory((base / "swap").c_str());

    g_swap_in.clear();
    EXPECT_EQ(load_in_child("link.xpm"), 1);
    EXPECT_TRUE(logged("Couldn't find pixmap file: link.xpm"));
    EXPECT_EQ(load_in_child("fifo.xpm"), 1);
    EXPECT_TRUE(logged("Couldn't find pixmap file: fifo.xpm"));

    g_swap_in = (base / "elsewhere/planted.xpm").string();
    EXPECT_EQ(load_in_child("checked.xpm"), 9);
    EXPECT_TRUE(g_log.empty());
}

// As root, a picture is parsed only from a file of root, of the real user or
// of the owner of the program's own pixmap directory (a checkout run with
// sudo), and only when no other user can write it.
TEST_F(PixmapSearch, AsRootOnlyPicturesOfTrustedOwnersAreParsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    auto owned = [](const fs::path& path, uid_t uid, mode_t mode) {
        ASSERT_EQ(chown(path.c_str(), uid, uid), 0) << path;
        ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
    };
    // Planted in a directory like the one under /tmp.
    write_file(base / "planted/planted.xpm", xpm(7, 7));
    owned(base / "planted", 0, 01777);
    owned(base / "planted/planted.xpm", 65534, 0644);
    write_file(base / "planted/writable.xpm", xpm(7, 7));
    owned(base / "planted/writable.xpm", 0, 0666);
    write_file(base / "planted/group.xpm", xpm(7, 7));
    owned(base / "planted/group.xpm", 0, 0664);
    add_pixmap_directory((base / "planted").c_str());
    EXPECT_EQ(load("planted.xpm").width, 1);
    EXPECT_TRUE(logged("Couldn't find pixmap file: planted.xpm"));
    EXPECT_EQ(load("writable.xpm").width, 1);
    EXPECT_EQ(load("group.xpm").width, 1);

    // The program's own directory, owned by an ordinary user, on a path
    // that only root and that user can change.
    cvx::test::TempDir own_root("cvx-own-pixmaps");
    const fs::path own = fs::path(own_root.path()) / "checkout/pixmaps";
    write_file(own / "mine.xpm", xpm(4, 4));
    owned(own.parent_path(), 1000, 0755);
    owned(own, 1000, 0755);
    owned(own / "mine.xpm", 1000, 0644);
    add_pixmap_directory(own.c_str());
    EXPECT_EQ(load("mine.xpm").width, 1) << "not yet the program's own directory";
    set_own_pixmap_directories({own.string()});
    EXPECT_EQ(load("mine.xpm").width, 4);
    // That user's pictures only: the planted one stays refused.
    EXPECT_EQ(load("planted.xpm").width, 1);

    // Not when others could have made or replaced the directory: below a
    // sticky directory anyone can write, or below a group-writable one.
    owned(own.parent_path(), 0, 01777);
    set_own_pixmap_directories({own.string()});
    EXPECT_EQ(load("mine.xpm").width, 1);
    owned(own.parent_path(), 0, 0775);
    set_own_pixmap_directories({own.string()});
    EXPECT_EQ(load("mine.xpm").width, 1);
    owned(own.parent_path(), 0, 0755);
    set_own_pixmap_directories({own.string()});
    EXPECT_EQ(load("mine.xpm").width, 4);
}

// A picture is read once: what later windows show under its name is what
// the first successful load found, whatever happens to the file. Refusals
// and failures are not kept: each request checks again, and warns again.
TEST_F(PixmapSearch, KeptAfterTheFirstLoadAndRefusalsAreCheckedEachTime)
{
    write_file(base / "kept/swapped.xpm", xpm(4, 4));
    write_file(base / "kept/broken.xpm", "/* XPM */ not yet a picture");
    add_pixmap_directory((base / "kept").c_str());
    EXPECT_EQ(load("swapped.xpm").width, 4);
    write_file(base / "kept/swapped.xpm", xpm(6, 6));
    EXPECT_EQ(load("swapped.xpm").width, 4);
    fs::remove(base / "kept/swapped.xpm");
    EXPECT_EQ(load("swapped.xpm").width, 4);
    EXPECT_TRUE(g_log.empty());

    const std::string broken = "Error loading pixmap file: " + (base / "kept/broken.xpm").string();
    for (int i = 0; i < 2; ++i) {
        g_log.clear();
        EXPECT_EQ(load("broken.xpm").width, 1);
        EXPECT_TRUE(logged(broken)) << i;
        g_log.clear();
        EXPECT_EQ(load("missing.xpm").width, 1);
        EXPECT_TRUE(logged("Couldn't find pixmap file: missing.xpm")) << i;
    }
    write_file(base / "kept/broken.xpm", xpm(5, 5));
    write_file(base / "kept/missing.xpm", xpm(7, 7));
    EXPECT_EQ(load("broken.xpm").width, 5);
    EXPECT_EQ(load("missing.xpm").width, 7);

    if (geteuid() != 0)
        return;   // owners are checked as root only
    write_file(base / "kept/foreign.xpm", xpm(3, 3));
    ASSERT_EQ(chown((base / "kept/foreign.xpm").c_str(), 65534, 65534), 0);
    for (int i = 0; i < 2; ++i) {
        g_log.clear();
        EXPECT_EQ(load("foreign.xpm").width, 1) << i;
        EXPECT_TRUE(logged("Couldn't find pixmap file: foreign.xpm")) << i;
    }
    ASSERT_EQ(chown((base / "kept/foreign.xpm").c_str(), 0, 0), 0);
    EXPECT_EQ(load("foreign.xpm").width, 3);
}

// Every picture a window names exists in the repository at a size that fits
// the place the window gives it.
TEST(Artwork, EveryNamedPictureLoadsAndFitsItsPlace)
{
    add_pixmap_directory((cvx::test::source_dir() + "/pixmaps").c_str());
    struct Place {
        const char* file;
        int max_w, max_h;
    };
    const Place places[] = {
        {"planet.xpm", 77, 85},        {"corvex.xpm", 48, 208},     {"invert.xpm", 30, 28},
        {"monitor1small.xpm", 78, 78}, {"monitor2small.xpm", 78, 78}, {"PVClone.xpm", 32, 32},
        {"PVMultiDisplay.xpm", 32, 32}, {"PVMergedDisplay.xpm", 32, 32}, {"s1.xpm", 48, 72},
        {"s2.xpm", 48, 72},            {"BoardWGear.xpm", 53, 37},   {"ArrowUp.xpm", 22, 30},
        {"ArrowDown.xpm", 22, 30},     {"ArrowLeft.xpm", 22, 30},    {"ArrowRight.xpm", 22, 30},
        {"ArrowExpandH.xpm", 38, 22},  {"ArrowShrinkH.xpm", 38, 22}, {"ArrowExpandV.xpm", 38, 22},
        {"ArrowShrinkV.xpm", 38, 22},
    };
    g_log.clear();
    for (const Place& p : places) {
        Size s = load(p.file);
        EXPECT_GT(s.width, 8) << p.file;
        EXPECT_LE(s.width, p.max_w) << p.file;
        EXPECT_LE(s.height, p.max_h) << p.file;
    }
    EXPECT_TRUE(g_log.empty());
}

TEST(LookupWidget, FindsByNameFromAnyChildAndThroughMenus)
{
    GtkWidget* window = create_winOpen();
    GtkWidget* entry = lookup_widget(window, "entryConfig");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(GTK_IS_ENTRY(entry));
    EXPECT_EQ(lookup_widget(entry, "buttonOkOpenConfig"), lookup_widget(window, "buttonOkOpenConfig"));
    EXPECT_EQ(lookup_widget(entry, "winOpen"), window);

    // A menu is no child of the window; its attach widget leads there.
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* item = gtk_menu_item_new_with_label("x");
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_menu_attach_to_widget(GTK_MENU(menu), entry, nullptr);
    EXPECT_EQ(lookup_widget(item, "entryBackup"), lookup_widget(window, "entryBackup"));

    g_log.clear();
    EXPECT_EQ(lookup_widget(window, "noSuchWidget"), nullptr);
    EXPECT_TRUE(logged("Widget not found: noSuchWidget"));
    gtk_widget_destroy(menu);
    gtk_widget_destroy(window);
}

// ------------------------------------------------------------------ message box

// Watches the root window for the _WIN_LAYER request on a connection of its own.
class RootWatcher {
public:
    RootWatcher() : m_display(XOpenDisplay(nullptr))
    {
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        XSync(m_display, False);
    }
    ~RootWatcher() { XCloseDisplay(m_display); }
    // The layer asked for `window`, or -1.
    long layer_request_for(Window window)
    {
        Atom layer = XInternAtom(m_display, "_WIN_LAYER", False);
        XSync(m_display, False);
        long found = -1;
        while (XPending(m_display)) {
            XEvent ev;
            XNextEvent(m_display, &ev);
            if (ev.type == ClientMessage && ev.xclient.message_type == layer && ev.xclient.window == window &&
                ev.xclient.format == 32)
                found = ev.xclient.data.l[0];
        }
        return found;
    }
private:
    Display* m_display;
};

bool has_net_wm_state_above(GtkWidget* window)
{
    Display* d = GDK_DISPLAY_XDISPLAY(gtk_widget_get_display(window));
    Atom state = XInternAtom(d, "_NET_WM_STATE", False);
    Atom above = XInternAtom(d, "_NET_WM_STATE_ABOVE", False);
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(d, GDK_WINDOW_XID(gtk_widget_get_window(window)), state, 0, 64, False, XA_ATOM, &type,
                           &format, &n, &after, &data) == Success &&
        data) {
        for (unsigned long i = 0; i < n; ++i)
            found = found || reinterpret_cast<Atom*>(data)[i] == above;
        XFree(data);
    }
    return found;
}

class MessageBox : public ::testing::Test {
protected:
    void TearDown() override
    {
        while (wdgWinMsgbox)
            gtk_widget_destroy(wdgWinMsgbox);
        if (wdgWinCentral)
            gtk_widget_destroy(wdgWinCentral);
        wdgWinCentral = nullptr;
        cvx::test::pump_events();
    }
};

TEST_F(MessageBox, ShowsTitleTextPictureAndStaysOnTop)
{
    RootWatcher watcher;
    // The longest text the program shows, with its blank line.
    const char* text = "Changes have been saved to your configuration file. The previous file has been backed "
                       "up.\n\nFor changes to take effect, you must restart your X server.";
    MsgBox("Corvex Twinscape - Test", text, 0);
    GtkWidget* box = wdgWinMsgbox;
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(box); }));
    cvx::test::pump_events();

    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(box)), "Corvex Twinscape - Test");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(lookup_widget(box, "lblMsgBox"))), text);
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(box)));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(box)));
    EXPECT_EQ(gtk_widget_get_allocated_width(box), 401);
    EXPECT_EQ(gtk_widget_get_allocated_height(box), 180);
    expect_geometry(box, "buttonOKMsgBox", 160, 136, 88, 32);
    expect_geometry(box, "pixPlanetMsgBox", 24, 16, 80, 88);
    expect_geometry(box, "lblMsgBox", 120, 16, 264, 112);
    EXPECT_GT(image_size(lookup_widget(box, "pixPlanetMsgBox")).width, 1) << "planet.xpm not shown";
    EXPECT_NE(gtk_window_get_icon(GTK_WINDOW(box)), nullptr);
    EXPECT_EQ(watcher.layer_request_for(GDK_WINDOW_XID(gtk_widget_get_window(box))), 10);
    EXPECT_TRUE(has_net_wm_state_above(box));
    EXPECT_EQ(mustExit, 0);
    cvx::test::screenshot(g_server->display(), "shell-msgbox");
}

// The longest warnings the program shows must stay inside the label's area,
// clear of the OK button below it.
TEST_F(MessageBox, LongestWarningsFitAboveTheButton)
{
    const char* texts[] = {
        "WARNING: The Corvex HAL library (the \"cvx_hal_drv.o\" file) is not detected. Some features are not "
        "supported.\n\nThe latest Corvex software is available at:\nwww.corvex.example",
        "WARNING: The current display driver is not compatible with this version of Corvex Twinscape. Some "
        "features are not supported.\n\nThe latest Corvex software is available at:\nwww.corvex.example",
    };
    for (const char* text : texts) {
        MsgBox("Corvex Twinscape", text, 0);
        GtkWidget* box = wdgWinMsgbox;
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(box); }));
        GtkWidget* label = lookup_widget(box, "lblMsgBox");
        cvx::test::pump_events();
        // The text as laid out in the label's allocation.
        int width = 0, height = 0;
        pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(label)), &width, &height);
        EXPECT_LE(width, 264) << text;
        EXPECT_LE(height, 112) << text;
        EXPECT_EQ(gtk_widget_get_allocated_height(box), 180) << text;
        gtk_widget_destroy(box);
        cvx::test::pump_events();
    }
}

TEST_F(MessageBox, CloseRequestIsRefusedAndOkClosesWithoutEndingTheProgram)
{
    MsgBox("Corvex Twinscape", "Changes made.", 0);
    GtkWidget* box = wdgWinMsgbox;
    ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(box); }));
    g_object_add_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&box));

    gtk_window_close(GTK_WINDOW(box));
    cvx::test::pump_events();
    ASSERT_NE(box, nullptr) << "the window manager's close request closed the box";
    EXPECT_EQ(wdgWinMsgbox, box);

    // Inside a main loop: OK must not leave it when the flag is clear.
    bool quit_by_box = true;
    g_idle_add(
        [](gpointer) -> gboolean {
            gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinMsgbox, "buttonOKMsgBox")));
            return G_SOURCE_REMOVE;
        },
        nullptr);
    g_timeout_add(
        300,
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = false;
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        },
        &quit_by_box);
    gtk_main();
    EXPECT_FALSE(quit_by_box);
    EXPECT_EQ(box, nullptr);
    EXPECT_EQ(wdgWinMsgbox, nullptr);
}

TEST_F(MessageBox, OkOfAMustExitBoxLeavesTheMainLoop)
{
    MsgBox("Corvex Twinscape", "ERROR: fatal.", 1);
    EXPECT_EQ(mustExit, 1);
    guint guard = g_timeout_add_seconds(
        20,
        [](gpointer) -> gboolean {
            ADD_FAILURE() << "the main loop was not left";
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        },
        nullptr);
    g_idle_add(
        [](gpointer) -> gboolean {
            gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinMsgbox, "buttonOKMsgBox")));
            return G_SOURCE_REMOVE;
        },
        nullptr);
    gtk_main();
    g_source_remove(guard);
    EXPECT_EQ(wdgWinMsgbox, nullptr);
}

TEST_F(MessageBox, IsCentredOverTheMainWindowOnceItExists)
{
    // Before the main window: left where the window manager puts it (no
    // window manager here: the origin).
    MsgBox("Corvex Twinscape", "first", 0);
    GtkWidget* first = wdgWinMsgbox;
    ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(first); }));
    int x = -1, y = -1;
    root_origin(first, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    GtkWidget* central = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(central, 634, 419);
    gtk_window_move(GTK_WINDOW(central), 100, 60);
    gtk_widget_show(central);
    wdgWinCentral = central;
    ASSERT_TRUE(cvx::test::wait_until([&] {
        int cx = 0, cy = 0;
        root_origin(central, cx, cy);
        return gtk_widget_get_mapped(central) && cx == 100 && cy == 60;
    }));

    MsgBox("Corvex Twinscape", "second", 0);
    GtkWidget* second = wdgWinMsgbox;
    ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(second); }));
    root_origin(second, x, y);
    EXPECT_EQ(x, 100 + 634 / 2 - 401 / 2);
    EXPECT_EQ(y, 60 + 419 / 2 - 180 / 2);

    // Both boxes can be dismissed, the older one first.
    g_object_add_weak_pointer(G_OBJECT(first), reinterpret_cast<gpointer*>(&first));
    gtk_button_clicked(GTK_BUTTON(lookup_widget(first, "buttonOKMsgBox")));
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(wdgWinMsgbox, second);
    gtk_button_clicked(GTK_BUTTON(lookup_widget(second, "buttonOKMsgBox")));
    EXPECT_EQ(wdgWinMsgbox, nullptr);
}

TEST(Backdrop, TilesTheWholeWindowIncludingBeyondOnePicture)
{
    // The main window is larger than the 383 x 356 picture: the area past
    // it shows the picture again, not the plain theme colour.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    gtk_widget_set_size_request(window, 800, 720);
    set_window_back(window, fixed);
    gtk_widget_show_all(window);
    ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(window); }));
    cvx::test::pump_events();

    GdkWindow* gw = gtk_widget_get_window(window);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gw, 0, 0, 800, 720);
    ASSERT_NE(shot, nullptr);
    const int stride = gdk_pixbuf_get_rowstride(shot), n = gdk_pixbuf_get_n_channels(shot);
    const guchar* px = gdk_pixbuf_get_pixels(shot);
    auto at = [&](int x, int y) {
        const guchar* p = px + y * stride + x * n;
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    // The tiling repeats every 383 x 356 pixels, and the picture is not flat.
    int same = 0, differs_inside = 0;
    for (int y = 10; y < 340; y += 7)
        for (int x = 10; x < 370; x += 7) {
            same += at(x, y) == at(x + 383, y + 356);
            differs_inside += at(x, y) != at(10, 10);
        }
    EXPECT_GT(same, 2000);
    EXPECT_GT(differs_inside, 100);
    g_object_unref(shot);
    gtk_widget_destroy(window);
}

// ------------------------------------------------------------------ winOpen

class OpenWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::make_unique<cvx::test::TempRoot>();
        g_log.clear();
    }
    void TearDown() override
    {
        while (wdgWinMsgbox)
            gtk_widget_destroy(wdgWinMsgbox);
        if (wdgWinOpen)
            gtk_widget_destroy(wdgWinOpen);
        if (wdgWinCentral)
            gtk_widget_destroy(wdgWinCentral);
        wdgWinCentral = nullptr;
        if (pXF86Config)
            xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
        unsetenv("CVXSCAPE_BOARD");
        cvx::test::pump_events();
        root.reset();
    }
    GtkWidget* open_window()
    {
        GtkWidget* win = create_winOpen();
        set_window_back(win, lookup_widget(win, "fixed5"));
        gtk_widget_show(win);
        EXPECT_TRUE(cvx::test::wait_until([&] { return gtk_widget_get_mapped(win); }));
        cvx::test::pump_events();
        return win;
    }
    std::string entry(const char* name) { return gtk_entry_get_text(GTK_ENTRY(lookup_widget(wdgWinOpen, name))); }
    void set_entry(const char* name, const std::string& text)
    {
        gtk_entry_set_text(GTK_ENTRY(lookup_widget(wdgWinOpen, name)), text.c_str());
    }
    void click(const char* name) { gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinOpen, name))); }
    std::unique_ptr<cvx::test::TempRoot> root;
};

TEST_F(OpenWindow, LayoutAndRequestTextsWithoutAConfigurationFile)
{
    GtkWidget* win = open_window();
    EXPECT_EQ(wdgWinOpen, win);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(win)), "Corvex Twinscape - Configuration File");
    EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(win)));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(win)));
    EXPECT_EQ(gtk_widget_get_allocated_width(win), 391);
    EXPECT_EQ(gtk_widget_get_allocated_height(win), 235);
    // Centred on the 1024 x 768 screen of the test server.
    int x = 0, y = 0;
    root_origin(win, x, y);
    EXPECT_EQ(x, (1024 - 391) / 2);
    EXPECT_EQ(y, (768 - 235) / 2);
    expect_geometry(win, "entryConfig", 80, 48, 280, 24);
    expect_geometry(win, "entryBackup", 80, 128, 280, 24);
    expect_geometry(win, "buttonOkOpenConfig", 296, 192, 63, 24);
    expect_geometry(win, "buttonCancelOpenConfig", 80, 192, 63, 24);
    expect_geometry(win, "pixCorvexLogo", 16, 16, 48, 208);
    expect_geometry(win, "lblBackupTo", 80, 96, 168, 32);
    expect_geometry(win, "lblOpenConfig", 80, 16, 120, 32);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(lookup_widget(win, "buttonOkOpenConfig"))), "Ok");
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(lookup_widget(win, "buttonCancelOpenConfig"))), "Cancel");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(lookup_widget(win, "lblBackupTo"))), "Backup configuration file:");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(lookup_widget(win, "lblOpenConfig"))), "Configuration file:");
    EXPECT_GT(image_size(lookup_widget(win, "pixCorvexLogo")).width, 1) << "corvex.xpm not shown";
    EXPECT_NE(gtk_window_get_icon(GTK_WINDOW(win)), nullptr);

    EXPECT_EQ(entry("entryConfig"), "Please specify a configuration file.");
    EXPECT_EQ(entry("entryBackup"), "Please specify a backup file.");
}

TEST_F(OpenWindow, ProposesTheFileOfTheDefaultSearchAndItsBackup)
{
    const std::string conf = root->file("etc/X11/xorg.conf");
    write_file(conf, "Section \"ServerLayout\"\n  Identifier \"L\"\n  Screen \"S\"\nEndSection\n");
    open_window();
    const std::string proposed = entry("entryConfig");
    EXPECT_EQ(proposed, conf);
    EXPECT_TRUE(fs::exists(proposed)) << proposed;
    EXPECT_EQ(entry("entryBackup"), proposed + "_CVX-BACKUP");
    cvx::test::screenshot(g_server->display(), "shell-winopen");
}

TEST_F(OpenWindow, RelativeOrTooLongPathsEndInTheInvalidFileBox)
{
    const std::string too_long = "/" + std::string(254, 'p');   // 255 characters
    struct Case {
        std::string config, backup;
    };
    const Case cases[] = {
        {"etc/XF86Config", "/tmp/backup"},
        {too_long, "/tmp/backup"},
        {"/tmp/ok", too_long},   // neither buffer takes the first path alone
    };
    for (const Case& c : cases) {
        std::strcpy(sConfigFile, "unchanged");
        open_window();
        set_entry("entryConfig", c.config);
        set_entry("entryBackup", c.backup);
        click("buttonOkOpenConfig");
        cvx::test::pump_events();
        EXPECT_EQ(wdgWinOpen, nullptr) << c.config;
        ASSERT_NE(wdgWinMsgbox, nullptr) << c.config;
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(lookup_widget(wdgWinMsgbox, "lblMsgBox"))),
                     cvx::open::kInvalidFile);
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(wdgWinMsgbox)), "Corvex Twinscape");
        EXPECT_EQ(mustExit, 1);
        EXPECT_EQ(pXF86Config, nullptr);
        if (c.config.size() > 254 || c.backup.size() > 254) {
            EXPECT_STREQ(sConfigFile, "unchanged") << "a long path must not be cut into the buffer";
        }
        gtk_widget_destroy(wdgWinMsgbox);
        cvx::test::pump_events();
    }
}

TEST_F(OpenWindow, UnsupportedBoardEndsInTheHardwareBox)
{
    const std::string conf = root->file("etc/X11/xorg.conf");
    fs::create_directories(fs::path(conf).parent_path());
    fs::copy_file(cvx::test::source_dir() + "/tests/shell/data/minimal.conf", conf.c_str(),
                  fs::copy_options::overwrite_existing);
    setenv("CVXSCAPE_BOARD", (cvx::test::source_dir() + "/emulation/boards/no-board.board").c_str(), 1);
    open_window();
    set_entry("entryConfig", conf);
    set_entry("entryBackup", conf + "_CVX-BACKUP");
    click("buttonOkOpenConfig");
    cvx::test::pump_events();
    EXPECT_EQ(wdgWinOpen, nullptr);
    EXPECT_NE(pXF86Config, nullptr) << "the parsed tree stays";
    EXPECT_STREQ(sConfigFile, conf.c_str());
    ASSERT_NE(wdgWinMsgbox, nullptr);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(lookup_widget(wdgWinMsgbox, "lblMsgBox"))),
                 cvx::open::kUnsupportedHardware);
    EXPECT_EQ(mustExit, 1);
    EXPECT_EQ(device_info[1], 0u);
}

TEST_F(OpenWindow, AcceptedFileHandsOverToTheMainWindow)
{
    const std::string conf = root->file("etc/X11/xorg.conf");
    fs::create_directories(fs::path(conf).parent_path());
    fs::copy_file(cvx::test::source_dir() + "/tests/shell/data/minimal.conf", conf.c_str(),
                  fs::copy_options::overwrite_existing);
    setenv("CVXSCAPE_BOARD", (cvx::test::source_dir() + "/emulation/boards/corvex-0520.board").c_str(), 1);
    open_window();
    set_entry("entryConfig", conf);
    set_entry("entryBackup", conf + "_CVX-BACKUP");
    click("buttonOkOpenConfig");
    cvx::test::pump_events();
    EXPECT_EQ(wdgWinOpen, nullptr);
    ASSERT_NE(pXF86Config, nullptr);
    ASSERT_NE(wdgWinCentral, nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(wdgWinCentral));
    EXPECT_STREQ(sConfigBackup, (conf + "_CVX-BACKUP").c_str());
    EXPECT_EQ(device_info[1], 0x0520u);
    // Bus 0, device 10: every Device section with Driver "cvx" now names it.
    int cvx_devices = 0;
    for (XF86ConfDevicePtr dev : xf86devices(pXF86Config)) {
        if (dev->driver && *dev->driver == "cvx") {
            ++cvx_devices;
            ASSERT_TRUE(dev->busid.has_value());
            EXPECT_EQ(*dev->busid, "PCI:0:10:0");
        } else if (dev->identifier == "Other card") {
            EXPECT_EQ(dev->busid.value_or(""), "PCI:2:0:0") << "only an exact \"cvx\" is rewritten";
        }
    }
    EXPECT_GE(cvx_devices, 1);
    EXPECT_EQ(wasSingleHeadAtStartup, 1);
    while (wdgWinMsgbox)
        gtk_widget_destroy(wdgWinMsgbox);
}

TEST_F(OpenWindow, CancelAndCloseRequestLeaveTheMainLoop)
{
    for (int way = 0; way < 2; ++way) {
        GtkWidget* win = open_window();
        g_object_add_weak_pointer(G_OBJECT(win), reinterpret_cast<gpointer*>(&win));
        guint guard = g_timeout_add_seconds(
            20,
            [](gpointer) -> gboolean {
                ADD_FAILURE() << "the main loop was not left";
                gtk_main_quit();
                return G_SOURCE_REMOVE;
            },
            nullptr);
        g_idle_add(way == 0 ? GSourceFunc([](gpointer) -> gboolean {
            gtk_button_clicked(GTK_BUTTON(lookup_widget(wdgWinOpen, "buttonCancelOpenConfig")));
            return G_SOURCE_REMOVE;
        })
                            : GSourceFunc([](gpointer) -> gboolean {
                                  gtk_window_close(GTK_WINDOW(wdgWinOpen));
                                  return G_SOURCE_REMOVE;
                              }),
                   nullptr);
        gtk_main();
        g_source_remove(guard);
        cvx::test::pump_events();
        EXPECT_EQ(win, nullptr) << "way " << way;
        EXPECT_EQ(wdgWinOpen, nullptr) << "way " << way;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    try {
        cvx::test::XServer server;
        g_server = &server;
        g_log_set_writer_func(record_log, nullptr, nullptr);
        gtk_init(&argc, &argv);
        pDisp = XOpenDisplay(nullptr);
        cvx::install_x_error_handler();
        int rc = RUN_ALL_TESTS();
        g_server = nullptr;
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
