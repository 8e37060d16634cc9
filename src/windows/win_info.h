// The information window's handlers.
#pragma once

#include <gtk/gtk.h>

// The version the window shows: major, minor (two digits) and build.
inline constexpr int CVX_VERSION_MAJOR = 1;
inline constexpr int CVX_VERSION_MINOR = 0;
inline constexpr int CVX_VERSION_BUILD = 5;

void on_winInfo_show(GtkWidget* window, gpointer user_data) noexcept;
gboolean on_winInfo_delete_event(GtkWidget* window, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonInfoOk_clicked(GtkButton* button, gpointer user_data) noexcept;
