// Loading window layouts from the compiled-in resource bundle.
#include "shell/ui.h"

#include <string>

#include "core/c_ptr.h"
#include "shell/support.h"

// Generated with --manual-register: a static library would drop an
// automatically registering object, so the loader registers the bundle.
extern "C" void cvx_ui_register_resource(void);

namespace {

void ensure_resources_registered()
{
    static bool registered = false;
    if (!registered) {
        cvx_ui_register_resource();
        if (GdkScreen* screen = gdk_screen_get_default()) {
            // One stylesheet for every window (see cvxscape.css).
            cvx::CPtr<GtkCssProvider, g_object_unref> css(gtk_css_provider_new());
            gtk_css_provider_load_from_resource(css.get(), "/org/cvxscape/ui/cvxscape.css");
            gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css.get()),
                                                      GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        }
        registered = true;
    }
}

}  // namespace

GtkWidget* cvx_ui_build(const char* ui_file, const char* window_name, CvxHandlerTable handlers)
{
    ensure_resources_registered();
    cvx::CPtr<GtkBuilder, g_object_unref> owned(gtk_builder_new());
    GtkBuilder* builder = owned.get();
    for (const auto& [name, fn] : handlers)
        gtk_builder_add_callback_symbol(builder, name, fn);

    const std::string path = std::string("/org/cvxscape/ui/") + ui_file;
    GError* error = nullptr;
    if (!gtk_builder_add_from_resource(builder, path.c_str(), &error)) {
        g_error("cannot load window layout %s: %s", path.c_str(), error ? error->message : "?");
    }
    GtkWidget* window = GTK_WIDGET(gtk_builder_get_object(builder, window_name));
    if (!window)
        g_error("window layout %s has no toplevel %s", path.c_str(), window_name);

    // Register every named widget on the toplevel, holding one reference each,
    // dropped when the toplevel goes away.
    cvx::CPtr<GSList, g_slist_free> objects(gtk_builder_get_objects(builder));
    for (GSList* it = objects.get(); it; it = it->next) {
        GObject* obj = G_OBJECT(it->data);
        if (!GTK_IS_WIDGET(obj) || !GTK_IS_BUILDABLE(obj))
            continue;
        const char* name = gtk_buildable_get_name(GTK_BUILDABLE(obj));
        if (!name || g_str_has_prefix(name, "___object_"))
            continue;
        if (obj == G_OBJECT(window))
            g_object_set_data(obj, name, obj);
        else
            g_object_set_data_full(G_OBJECT(window), name, g_object_ref(obj), g_object_unref);
    }

    // Connected last, so that no handler runs while the layout's initial
    // states (active radio buttons and the like) are being set.
    gtk_builder_connect_signals(builder, nullptr);
    return window;
}

void cvx_ui_set_pixmap(GtkWidget* window, const char* image_name, const char* filename)
{
    GtkWidget* target = lookup_widget(window, image_name);
    cvx::CPtr<GtkWidget, g_object_unref> loaded(GTK_WIDGET(g_object_ref_sink(create_pixmap(window, filename))));
    if (target && GTK_IS_IMAGE(target) && GTK_IS_IMAGE(loaded.get())) {
        GtkImage* src = GTK_IMAGE(loaded.get());
        if (gtk_image_get_storage_type(src) == GTK_IMAGE_PIXBUF)
            gtk_image_set_from_pixbuf(GTK_IMAGE(target), gtk_image_get_pixbuf(src));
        else
            gtk_image_clear(GTK_IMAGE(target));
    }
}
