// Helpers every window shares: widget lookup by name, pixmaps from the search
// path, backdrops, icons, stacking, placement, and two number-to-text
// functions.
#pragma once

#include <string>
#include <vector>

#include <gtk/gtk.h>

// The widget registered under `name` on the toplevel of `widget`, or null
// (with the warning "Widget not found: %s").
GtkWidget* lookup_widget(GtkWidget* widget, const gchar* name);

void add_pixmap_directory(const gchar* directory);
// The program's own pixmap directories (replacing those given before). As
// root, pictures are loaded only from files of root, of the real user, and of
// the owner of one of these directories when nobody else can change the path
// to it; so a checkout run with sudo shows its pictures.
void set_own_pixmap_directories(const std::vector<std::string>& directories);
// A new, not yet shown image widget; never null (a placeholder when the file
// cannot be used).
GtkWidget* create_pixmap(GtkWidget* widget, const gchar* filename);

#if CVX_TEST_HOOKS
// Called with the path of a picture once its file has been opened and
// checked, before it is read.
extern void (*cvx_test_pixmap_checked)(const char* path);
#endif

void set_window_back(GtkWidget* window, GtkWidget* fixed);
void set_identify_back(GtkWidget* window, GtkWidget* fixed);
void setWindowIcon(GtkWidget* window);
void setWindowLayer(GtkWidget* window);
void centerWindowOver(GtkWidget* parent, GtkWidget* child);

// The buffer must hold CVX_ITOA_BUFFER / CVX_FTOA_BUFFER bytes (any int,
// any float in "%1.3f"); -1 and nothing written for a null buffer.
constexpr int CVX_ITOA_BUFFER = 12;
constexpr int CVX_FTOA_BUFFER = 48;
int itoa(char* buffer, int value);
int ftoa(char* buffer, float value);
