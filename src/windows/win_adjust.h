// The monitor settings window (live adjustment of one X screen) and the save
// custom mode dialog that ends a series of adjustments. The constructors and
// refreshAdjustWindow/showModeParams are declared in windows/windows.h; this
// header adds the handlers and the helpers the two windows share.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

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

// Refresh rate in whole Hz: clock * 1000 / (htotal * vtotal), rounded to the
// nearest Hz with halves up (via x100 + 50, truncated, / 100). 0 when the
// totals are 0 (no real mode has that).
int refresh_rate_hz(int dot_clock_khz, int htotal, int vtotal);

// The main window's resolution summary for the given displays (1 = one
// line; anything else = two lines), limited to 255 characters.
std::string resolution_summary(int display_count, const XF86VidModeModeLine& first, int first_clock,
                               const XF86VidModeModeLine& second, int second_clock, int depth);

// The eleven lines shown in "txtParams".
std::string mode_params_text(const XF86VidModeModeLine& mode);

// Reads the mode line and dot clock of X screen `screen`; the mode's private
// data is released (nothing here uses it). False (outputs untouched) when the
// server refuses. Call it inside a cvx::XErrorScope.
bool read_mode_line(Display* display, int screen, XF86VidModeModeLine& mode, int& dot_clock);

// Switches X screen `screen` by `direction` (-1 previous, +1 next) with mode
// switching allowed only around the one switch.
void switch_mode(Display* display, int screen, int direction);

// Opens the save dialog with modeChange = `change`; centred over the main
// window only when asked (the close box).
void open_save_dialog(int change, bool centred);

// The font and slim widgets both fixed layouts were drawn for (once per
// screen, scoped to the two windows by their names).
void install_style();

}  // namespace cvx::windows
