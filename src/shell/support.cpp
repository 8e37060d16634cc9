// Helpers every window shares: widget lookup, pixmaps from the search list,
// the backdrops and icon compiled into the program, window-manager layer,
// placement, and number formatting.
#include "shell/support.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gdk/gdkx.h>
#include <X11/Xlib.h>

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

namespace {

// Registered last, searched first; never shrinks.
std::deque<std::string>& pixmap_directories()
{
    static std::deque<std::string> dirs;
    return dirs;
}

// A regular file; as root also one that no other user could have put there
// (some search directories lie under the world-writable /tmp), because root
// should not parse pictures planted by someone else.
bool is_usable_file(const std::string& path)
{
    struct stat st = {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (geteuid() == 0 && (st.st_uid != 0 || (st.st_mode & S_IWOTH)))
        return false;
    return true;
}

std::string find_pixmap_file(const std::string& filename)
{
    for (const std::string& dir : pixmap_directories()) {
        std::string path = dir + "/" + filename;
        if (is_usable_file(path))
            return path;
    }
    std::string fallback = "../pixmaps/" + filename;
    if (is_usable_file(fallback))
        return fallback;
    return {};
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

GtkWidget* create_pixmap(GtkWidget* widget, const gchar* filename)
{
    // GTK 3 has no colormaps; the widget is kept in the signature only.
    if (!filename || !*filename)
        return create_placeholder();

    const std::string path = find_pixmap_file(filename);
    if (path.empty()) {
        g_warning("Couldn't find pixmap file: %s", filename);
        return create_placeholder();
    }
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (!pixbuf) {
        g_clear_error(&error);
        g_warning("Error loading pixmap file: %s", path.c_str());
        return create_placeholder();
    }
    GtkWidget* image = gtk_image_new_from_pixbuf(pixbuf);
    g_object_unref(pixbuf);   // the image holds the only reference now
    return image;
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
