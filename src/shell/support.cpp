// Helpers every window shares: widget lookup, pixmaps from the search list,
// the backdrops and icon compiled into the program, window-manager layer,
// placement, and number formatting.
#include "shell/support.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gdk/gdkx.h>
#include <X11/Xlib.h>

#include "core/c_ptr.h"
#include "core/fd.h"
#include "shell/images.h"
#include "shell/xpm.h"

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
    const std::vector<std::string_view> strings = xpm_source_strings(bytes);
    if (strings.empty())
        return nullptr;
    // Each string ended in place, in a copy of the text.
    std::string text = bytes;
    std::vector<const char*> lines;
    lines.reserve(strings.size());
    for (std::string_view s : strings) {
        const auto at = static_cast<size_t>(s.data() - bytes.data());
        text[at + s.size()] = '\0';
        lines.push_back(text.data() + at);
    }
    return cvx::CPtr<GdkPixbuf, g_object_unref>(xpm_decode(lines.data(), lines.size()));
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
GdkPixbuf* embedded_pixbuf(const char* const* xpm, size_t lines, GdkPixbuf*& cache)
{
    if (!cache)
        cache = xpm_decode(xpm, lines);
    return cache;
}

// Every picture loaded by name, kept for the process: the first successful
// load (found, checked and parsed) is what every later window shows under
// that name. Refusals and failures are not kept: they are checked, and
// warned about, each time. Emptied when the search list or the trusted
// owners change, since the same name may then lead elsewhere or be refused.
std::map<std::string, cvx::CPtr<GdkPixbuf, g_object_unref>, std::less<>>& loaded_pixmaps()
{
    static std::map<std::string, cvx::CPtr<GdkPixbuf, g_object_unref>, std::less<>> loaded;
    return loaded;
}

GdkPixbuf* s_placeholder = nullptr;
GdkPixbuf* s_backdrop = nullptr;
GdkPixbuf* s_identify_backdrop = nullptr;
GdkPixbuf* s_icon = nullptr;

GtkWidget* create_placeholder()
{
    GdkPixbuf* pixbuf = embedded_pixbuf(cvx_placeholder_xpm, cvx_placeholder_xpm_lines, s_placeholder);
    if (!pixbuf)
        g_error("Couldn't create replacement pixmap.");
    return gtk_image_new_from_pixbuf(pixbuf);
}

}  // namespace

void add_pixmap_directory(const gchar* directory)
{
    if (directory) {
        pixmap_directories().emplace_front(directory);
        loaded_pixmaps().clear();
    }
}

void set_own_pixmap_directories(const std::vector<std::string>& directories)
{
    std::vector<uid_t>& owners = own_directory_owners();
    owners.clear();
    loaded_pixmaps().clear();
    for (const std::string& dir : directories)
        if (const auto owner = safe_owner(dir))
            owners.push_back(*owner);
}

GtkWidget* create_pixmap(GtkWidget* widget, const gchar* filename)
{
    // GTK 3 has no colormaps; the widget is kept in the signature only.
    if (!filename || !*filename)
        return create_placeholder();

    auto& loaded = loaded_pixmaps();
    if (const auto kept = loaded.find(std::string_view(filename)); kept != loaded.end())
        return gtk_image_new_from_pixbuf(kept->second.get());
    const FoundPixmap found = find_pixmap_file(filename);
    if (!found.fd) {
        g_warning("Couldn't find pixmap file: %s", filename);
        return create_placeholder();
    }
    auto pixbuf = load_pixmap_file(found);
    if (!pixbuf) {
        g_warning("Error loading pixmap file: %s", found.path.c_str());
        return create_placeholder();
    }
    GtkWidget* image = gtk_image_new_from_pixbuf(pixbuf.get());   // takes its own reference
    loaded.emplace(filename, std::move(pixbuf));
    return image;
}

// ------------------------------------------------------------------ backdrops

namespace {

constexpr const char* kBackdropKey = "cvx-backdrop";
constexpr const char* kSurfaceKey = "cvx-surface";

// The picture as a surface cairo can paint, made at its first draw and kept
// on the picture (the backdrops live as long as the process).
cairo_surface_t* backdrop_surface(GdkPixbuf* pixbuf)
{
    auto* surface = static_cast<cairo_surface_t*>(g_object_get_data(G_OBJECT(pixbuf), kSurfaceKey));
    if (!surface) {
        surface = gdk_cairo_surface_create_from_pixbuf(pixbuf, 1, nullptr);
        g_object_set_data_full(G_OBJECT(pixbuf), kSurfaceKey, surface,
                               reinterpret_cast<GDestroyNotify>(cairo_surface_destroy));
    }
    return surface;
}

// Paints the picture repeated from the widget's origin before the widget
// draws its children; transparent pixels show the theme's background that
// the window painted underneath.
gboolean paint_backdrop(GtkWidget* widget, cairo_t* cr, gpointer data) noexcept
{
    GdkPixbuf* pixbuf = static_cast<GdkPixbuf*>(data);
    if (!pixbuf)
        return FALSE;
    cairo_save(cr);
    cairo_set_source_surface(cr, backdrop_surface(pixbuf), 0, 0);
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
    // The window's own theme background stays (it shows through the
    // transparent pixels); the fixed container, which covers the whole
    // window, carries the picture.
    attach_backdrop(fixed ? fixed : gtk_bin_get_child(GTK_BIN(window)), pixbuf);
}

}  // namespace

void set_window_back(GtkWidget* window, GtkWidget* fixed)
{
    set_back(window, fixed, embedded_pixbuf(cvx_backdrop_xpm, cvx_backdrop_xpm_lines, s_backdrop));
}

void set_identify_back(GtkWidget* window, GtkWidget* fixed)
{
    set_back(window, fixed,
             embedded_pixbuf(cvx_identify_backdrop_xpm, cvx_identify_backdrop_xpm_lines, s_identify_backdrop));
}

void setWindowIcon(GtkWidget* window)
{
    if (!window || !GTK_IS_WINDOW(window))
        return;
    GdkPixbuf* icon = embedded_pixbuf(cvx_icon_xpm, cvx_icon_xpm_lines, s_icon);
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
