// Building a window from its layout file (.ui, compiled in as a resource).
//
// cvx_ui_build loads /org/cvxscape/ui/<ui_file>, takes the toplevel named
// `window_name`, registers it on itself under its name and every named widget
// of the layout on the toplevel under its id (so lookup_widget finds it, one
// reference held until the window is destroyed), and connects the layout's
// <signal handler="..."> names to the functions in `handlers` (connected
// without user data). Signals are connected only after every widget exists.
// A handler name missing from the table is a programming error (logged).
#pragma once

#include <gtk/gtk.h>

#include <initializer_list>
#include <utility>

using CvxHandlerTable = std::initializer_list<std::pair<const char*, GCallback>>;

GtkWidget* cvx_ui_build(const char* ui_file, const char* window_name, CvxHandlerTable handlers);

// Fills the image widget registered as `image_name` on `window` with the
// picture that create_pixmap finds for `filename` (a placeholder if none).
void cvx_ui_set_pixmap(GtkWidget* window, const char* image_name, const char* filename);
