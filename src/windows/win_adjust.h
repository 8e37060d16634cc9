// The monitor settings window (live adjustment of one X screen) and the save
// custom mode dialog that ends a series of adjustments. The constructors and
// refreshAdjustWindow/showModeParams are declared in windows/windows.h; this
// header adds the handlers and the helpers the two windows share.
#pragma once

#include <gtk/gtk.h>

// Handlers of winAdjust (connected by name from win_adjust.ui).
void on_winAdjust_show(GtkWidget* widget, gpointer user_data) noexcept;
gboolean on_winAdjust_delete_event(GtkWidget* widget, GdkEvent* event, gpointer user_data) noexcept;
gboolean on_winAdjust_key_press_event(GtkWidget* widget, GdkEventKey* event, gpointer user_data) noexcept;
void on_buttonUp_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonLeft_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonRight_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonDown_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonWider_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonNarrower_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonShorter_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonTaller_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonPrev_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonNext_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonApply_pressed(GtkButton* button, gpointer user_data) noexcept;
void on_buttonAdjustDone_clicked(GtkButton* button, gpointer user_data) noexcept;

// Handlers of winSaveMode (connected by name from win_save.ui).
void on_winSaveMode_show(GtkWidget* widget, gpointer user_data) noexcept;
gboolean on_winSaveMode_delete_event(GtkWidget* widget, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonSaveYes_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonSaveNo_clicked(GtkButton* button, gpointer user_data) noexcept;

namespace cvx::windows {

// Opens the save dialog with modeChange = `change`; centred over the main
// window only when asked (the close box).
void open_save_dialog(int change, bool centred);

}  // namespace cvx::windows
