// Helpers every window shares: widget lookup, pixmaps from the search list,
// the backdrops and icon compiled into the program, window-manager layer,
// placement, and number formatting.
#include "shell/support.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gdk/gdkx.h>
#include <X11/Xlib.h>

#include "core/c_ptr.h"
#include "core/fd.h"
#include "shell/images.h"

// ------------------------------------------------------------------ lookup

GtkWidget* lookup_widget(GtkWidget* widget, const gchar* name)
{
    GtkWidget* top = widget;
    while (top) {
        GtkWidget* up = GTK_IS_MENU(top) ? gtk_menu_get_attach_widget(GTK_MENU(top)) : gtk_widget_get_parent(top);
        if (!up)
            break;
        top = up;
    }
    GtkWidget* found = top ? static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(top), name)) : nullptr;
    if (!found)
        g_warning("Widget not found: %s", name);
    return found;
}

// ------------------------------------------------------------------ pixmaps

#if CVX_TEST_HOOKS
void (*cvx_test_pixmap_checked)(const char* path) = nullptr;
#endif

namespace {

// Registered last, searched first; never shrinks.
std::deque<std::string>& pixmap_directories()
{
    static std::deque<std::string> dirs;
    return dirs;
}

// Owners of the program's own pixmap directories whose path is safe; root
// loads their pictures as well as its own and the real user's.
std::vector<uid_t>& own_directory_owners()
{
    static std::vector<uid_t> owners;
    return owners;
}

// XPM is text; the largest picture a window shows is some 25 KB.
constexpr off_t kMaxPixmapBytes = 4 * 1024 * 1024;

bool writable_by_others(const struct stat& st)
{
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// The owner of `dir` when nobody but root, the real user and that owner can
// change what lies there: every directory from "/" down is owned by one of
// them and writable by nobody else. A sticky directory that others may
// write (such as /tmp) is passed only if root or the real user owns it, and
// what lies directly in it must be theirs too, since anyone could have made
// that entry.
std::optional<uid_t> safe_owner(const std::string& dir)
{
    cvx::CPtr<char, std::free> real(realpath(dir.c_str(), nullptr));
    struct stat st = {};
    if (!real || lstat(real.get(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    const uid_t owner = st.st_uid;
    const std::string path = real.get();
    std::vector<std::string> steps{"/"};
    for (size_t pos = 2; pos <= path.size(); ++pos)
        if (pos == path.size() || path[pos] == '/')
            steps.push_back(path.substr(0, pos));
    bool in_shared = false;   // the directory above is sticky and others may write it
    for (const std::string& step : steps) {
        if (lstat(step.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
        const bool ours = st.st_uid == 0 || st.st_uid == getuid();
        if (!ours && (in_shared || st.st_uid != owner))
            return std::nullopt;
        in_shared = writable_by_others(st);
        if (in_shared && !((st.st_mode & S_ISVTX) && ours))
            return std::nullopt;
    }
    return owner;
}

bool trusted_owner(uid_t uid)
{
    if (uid == 0 || uid == getuid())
        return true;
    const auto& owners = own_directory_owners();
    return std::find(owners.begin(), owners.end(), uid) != owners.end();
}

// The picture at `path`, opened once and checked as opened: a regular file
// and no link, and as root one that no other user could have put there or
// changed (some search directories lie under the world-writable /tmp),
// because root should not parse pictures planted by someone else. Never
// blocks on a FIFO or device.
cvx::Fd open_pixmap_file(const std::string& path, struct stat& st)
{
    cvx::Fd fd = cvx::open_fd(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    if (geteuid() == 0 && (!trusted_owner(st.st_uid) || writable_by_others(st)))
        return {};
    return fd;
}

struct FoundPixmap {
    std::string path;
    cvx::Fd fd;
    struct stat st = {};
};

FoundPixmap find_pixmap_file(const std::string& filename)
{
    FoundPixmap found;
    auto usable = [&](std::string path) {
        found.fd = open_pixmap_file(path, found.st);
        if (found.fd)
            found.path = std::move(path);
        return bool(found.fd);
    };
    for (const std::string& dir : pixmap_directories())
        if (usable(dir + "/" + filename))
            return found;
    usable("../pixmaps/" + filename);
    return found;
}

// The picture in the bytes of an XPM file; null when they are not one.
cvx::CPtr<GdkPixbuf, g_object_unref> pixbuf_from_xpm(const std::string& bytes)
{
    cvx::CPtr<GdkPixbufLoader, g_object_unref> loader(gdk_pixbuf_loader_new_with_type("xpm", nullptr));
    if (!loader)
        return nullptr;
    bool ok = gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(bytes.data()),
                                      bytes.size(), nullptr);
    // Closed even after a failed write: the loader complains when it goes
    // unclosed.
    ok = gdk_pixbuf_loader_close(loader.get(), nullptr) && ok;
    GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader.get()) : nullptr;
    return cvx::CPtr<GdkPixbuf, g_object_unref>(pixbuf ? GDK_PIXBUF(g_object_ref(pixbuf)) : nullptr);
}

// The picture from the file opened and checked by find_pixmap_file, read
// through that descriptor: what is parsed is what was checked, whatever
// the name points to by now.
cvx::CPtr<GdkPixbuf, g_object_unref> load_pixmap_file(const FoundPixmap& found)
{
#if CVX_TEST_HOOKS
    if (cvx_test_pixmap_checked)
        cvx_test_pixmap_checked(found.path.c_str());
#endif
    if (found.st.st_size > kMaxPixmapBytes)
        return nullptr;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(found.st.st_size));
    if (!cvx::read_all(found.fd.get(), bytes) || bytes.size() > static_cast<size_t>(kMaxPixmapBytes))
        return nullptr;
    return pixbuf_from_xpm(bytes);
}

// A pixbuf from compiled-in XPM data, made once and kept for the process.
GdkPixbuf* embedded_pixbuf(const char* const* xpm, GdkPixbuf*& cache)
{
    if (!cache)
        cache = gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(xpm));
    return cache;
}

GdkPixbuf* s_placeholder = nullptr;
GdkPixbuf* s_backdrop = nullptr;
GdkPixbuf* s_identify_backdrop = nullptr;
GdkPixbuf* s_icon = nullptr;

GtkWidget* create_placeholder()
{
    GdkPixbuf* pixbuf = embedded_pixbuf(cvx_placeholder_xpm, s_placeholder);
    if (!pixbuf)
        g_error("Couldn't create replacement pixmap.");
    return gtk_image_new_from_pixbuf(pixbuf);
}

}  // namespace

void add_pixmap_directory(const gchar* directory)
{
    if (directory)
        pixmap_directories().emplace_front(directory);
}

void set_own_pixmap_directories(const std::vector<std::string>& directories)
{
    std::vector<uid_t>& owners = own_directory_owners();
    owners.clear();
    for (const std::string& dir : directories)
        if (const auto owner = safe_owner(dir))
            owners.push_back(*owner);
}

GtkWidget* create_pixmap(GtkWidget* widget, const gchar* filename)
{
    // GTK 3 has no colormaps; the widget is kept in the signature only.
    if (!filename || !*filename)
        return create_placeholder();

    const FoundPixmap found = find_pixmap_file(filename);
    if (!found.fd) {
        g_warning("Couldn't find pixmap file: %s", filename);
        return create_placeholder();
    }
    const auto pixbuf = load_pixmap_file(found);
    if (!pixbuf) {
        g_warning("Error loading pixmap file: %s", found.path.c_str());
        return create_placeholder();
    }
    return gtk_image_new_from_pixbuf(pixbuf.get());   // takes its own reference
}

// ------------------------------------------------------------------ backdrops

namespace {

constexpr const char* kBackdropKey = "cvx-backdrop";

// Paints the picture repeated from the widget's origin before the widget
// draws its children; transparent pixels show the theme's background that
// the window painted underneath.
gboolean paint_backdrop(GtkWidget* widget, cairo_t* cr, gpointer data) noexcept
{
    GdkPixbuf* pixbuf = static_cast<GdkPixbuf*>(data);
    if (!pixbuf)
        return FALSE;
    cairo_save(cr);
    gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_REPEAT);
    cairo_paint(cr);
    cairo_restore(cr);
    return FALSE;
}

void attach_backdrop(GtkWidget* widget, GdkPixbuf* pixbuf)
{
    if (!widget)
        return;
    // A second call replaces the picture instead of painting both.
    gulong old = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(widget), kBackdropKey));
    if (old)
        g_signal_handler_disconnect(widget, old);
    gulong id = g_signal_connect(widget, "draw", G_CALLBACK(paint_backdrop), pixbuf);
    g_object_set_data(G_OBJECT(widget), kBackdropKey, GSIZE_TO_POINTER(id));
    gtk_widget_queue_draw(widget);
}

void set_back(GtkWidget* window, GtkWidget* fixed, GdkPixbuf* pixbuf)
{
    if (!window)
        return;
    gtk_widget_realize(window);
    // The window's own theme background stays (it shows through the
    // transparent pixels); the fixed container, which covers the whole
    // window, carries the picture.
    attach_backdrop(fixed ? fixed : gtk_bin_get_child(GTK_BIN(window)), pixbuf);
}

}  // namespace

void set_window_back(GtkWidget* window, GtkWidget* fixed)
{
    set_back(window, fixed, embedded_pixbuf(cvx_backdrop_xpm, s_backdrop));
}

void set_identify_back(GtkWidget* window, GtkWidget* fixed)
{
    set_back(window, fixed, embedded_pixbuf(cvx_identify_backdrop_xpm, s_identify_backdrop));
}

void setWindowIcon(GtkWidget* window)
{
    if (!window || !GTK_IS_WINDOW(window))
        return;
    GdkPixbuf* icon = embedded_pixbuf(cvx_icon_xpm, s_icon);
    if (icon)
        gtk_window_set_icon(GTK_WINDOW(window), icon);
}

void setWindowLayer(GtkWidget* window)
{
    if (!window)
        return;
    gtk_widget_realize(window);
    GdkWindow* gdk_window = gtk_widget_get_window(window);
    GdkDisplay* gdk_display = gtk_widget_get_display(window);
    if (!gdk_window || !GDK_IS_X11_DISPLAY(gdk_display))
        return;
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display);

    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.display = display;
    event.xclient.window = GDK_WINDOW_XID(gdk_window);
    event.xclient.message_type = XInternAtom(display, "_WIN_LAYER", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 10;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureNotifyMask, &event);

    // Current window managers ignore _WIN_LAYER; "keep above" is the
    // standard request for the same stacking.
    if (GTK_IS_WINDOW(window))
        gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
}

namespace {

// The size a window has or will have when mapped: its allocation once it has
// one, else what it requests (GTK 3 allocates only on mapping).
void window_size(GtkWidget* widget, int& width, int& height)
{
    width = gtk_widget_get_allocated_width(widget);
    height = gtk_widget_get_allocated_height(widget);
    if (gtk_widget_get_mapped(widget) && width > 1 && height > 1)
        return;
    GtkRequisition minimum = {}, natural = {};
    gtk_widget_get_preferred_size(widget, &minimum, &natural);
    width = minimum.width;
    height = minimum.height;
    int w = 0, h = 0;
    if (GTK_IS_WINDOW(widget)) {
        gtk_window_get_size(GTK_WINDOW(widget), &w, &h);
        width = std::max(width, w);
        height = std::max(height, h);
    }
}

}  // namespace

void centerWindowOver(GtkWidget* parent, GtkWidget* child)
{
    if (!parent || !child)
        return;
    GdkWindow* parent_window = gtk_widget_get_window(parent);
    if (!parent_window)
        return;
    int x0 = 0, y0 = 0;
    gdk_window_get_origin(parent_window, &x0, &y0);
    int pw = 0, ph = 0, cw = 0, ch = 0;
    window_size(parent, pw, ph);
    window_size(child, cw, ch);
    const auto pw16 = static_cast<uint16_t>(pw), ph16 = static_cast<uint16_t>(ph);
    const auto cw16 = static_cast<uint16_t>(cw), ch16 = static_cast<uint16_t>(ch);
    const int x = x0 + pw16 / 2 - cw16 / 2;
    const int y = y0 + ph16 / 2 - ch16 / 2;
    if (GTK_IS_WINDOW(child)) {
        // The position is that of the client area, as the parent's origin is;
        // the default gravity would put the frame there, a title bar too low.
        gtk_window_set_gravity(GTK_WINDOW(child), GDK_GRAVITY_STATIC);
        gtk_window_move(GTK_WINDOW(child), x, y);
    }
}

// ------------------------------------------------------------------ numbers

int itoa(char* buffer, int value)
{
    if (!buffer)
        return -1;
    return std::sprintf(buffer, "%d", value);
}

int ftoa(char* buffer, float value)
{
    if (!buffer)
        return -1;
    return std::sprintf(buffer, "%1.3f", static_cast<double>(value));
}
