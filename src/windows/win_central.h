// The main window's handlers and the pieces of its behaviour that tests and
// other windows reach directly. The constructors and drawLayout are declared
// in windows.h.
#pragma once

#include <gtk/gtk.h>

void on_winCentral_show(GtkWidget* widget, gpointer user_data) noexcept;
gboolean on_winCentral_delete_event(GtkWidget* widget, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonInvert_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonResolution1_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonResolution2_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonAdjust1_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonAdjust2_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonIdentify_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonCentralOk_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonCentralCancel_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonCentralPreview_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonInfo_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_radioOff_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_radioClone_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_radioMultiDisplay_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_radioMergedDisplay_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_checkXinerama_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_checkHwCursor_toggled(GtkToggleButton* button, gpointer user_data) noexcept;

// Closes the identify windows in slots 0 .. count-1 (count in `data`) and
// gives "Identify Displays" back; false, so the one-shot timer ends.
gboolean timeout_callback_destroy(gpointer data) noexcept;

// How long the identify windows stay up.
constexpr guint CVX_IDENTIFY_MS = 3000;
