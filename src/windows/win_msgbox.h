// The message box's handlers; its constructor and MsgBox are declared in
// windows/windows.h.
#pragma once

#include <gtk/gtk.h>

void on_winMsgBox_show(GtkWidget* widget, gpointer user_data) noexcept;
gboolean on_winMsgBox_delete_event(GtkWidget* widget, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonOKMsgBox_clicked(GtkButton* button, gpointer user_data) noexcept;
