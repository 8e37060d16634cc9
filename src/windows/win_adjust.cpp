// The monitor settings window: moves and resizes the picture of one X screen
// through the driver channel, sets its refresh rate, switches between the
// server's modes, and shows the timings the server reports after each action.
#include "windows/win_adjust.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <X11/extensions/Xinerama.h>

#include "config/refresh.h"
#include "core/c_ptr.h"
#include "core/globals.h"
#include "core/x_error.h"
#include "driver/channel.h"
#include "driver/running.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace {

constexpr unsigned int KEY_ESCAPE = 0xFF1B;

// The vertical refresh bounds of the monitor of `screen`, truncated toward
// zero; false when the server gives no ranges.
bool monitor_vertical_range(Display* display, int screen, int& lower, int& upper)
{
    XF86VidModeMonitor monitor{};
    const bool ok = XF86VidModeGetMonitor(display, screen, &monitor);
    cvx::CPtr<char, XFree> vendor(ok ? monitor.vendor : nullptr);
    cvx::CPtr<char, XFree> model(ok ? monitor.model : nullptr);
    cvx::CPtr<XF86VidModeSyncRange, XFree> hsync(ok ? monitor.hsync : nullptr);
    cvx::CPtr<XF86VidModeSyncRange, XFree> vsync(ok ? monitor.vsync : nullptr);
    if (!ok || monitor.nvsync <= 0 || !vsync)
        return false;
    lower = static_cast<int>(monitor.vsync[0].lo);
    upper = static_cast<int>(monitor.vsync[0].hi);
    for (int i = 0; i < monitor.nvsync; ++i) {
        lower = std::min(lower, static_cast<int>(monitor.vsync[i].lo));
        upper = std::max(upper, static_cast<int>(monitor.vsync[i].hi));
    }
    return true;
}

int display_count(Display* display)
{
    if (!XineramaIsActive(display))
        return 1;
    int count = 0;
    cvx::CPtr<XineramaScreenInfo, XFree> screens(XineramaQueryScreens(display, &count));
    return screens ? count : 1;
}

void adjustment_action(unsigned char (*operation)(XF86VidModeModeLine*, Display*))
{
    if (bHalLoaded) {
        operation(&mode_line, pDisp);
        // Set even when the channel refused and only rang the bell: the
        // save dialog then offers the (unchanged) mode all the same.
        bDidChange = 1;
    }
    refreshAdjustWindow();
}

void change_mode(int direction)
{
    if (bDidChange) {
        cvx::windows::open_save_dialog(direction, false);
        return;
    }
    if (bHalLoaded)
        UndoLastChange(&mode_line, pDisp);
    cvx::running::switch_mode(pDisp, CurrentScreen, direction);
    refreshAdjustWindow();
}

void on_winAdjust_destroy(GtkWidget* widget, gpointer) noexcept
{
    if (wdgWinAdjust == widget)
        wdgWinAdjust = nullptr;
}

}  // namespace

namespace cvx::windows {

void open_save_dialog(int change, bool centred)
{
    // Both windows are modal, so a second request cannot normally arrive;
    // never stack two dialogs on one pending change.
    if (wdgWinSave)
        return;
    modeChange = change;
    wdgWinSave = create_winSaveMode();
    set_window_back(wdgWinSave, lookup_widget(wdgWinSave, "fixed2"));
    if (centred)
        centerWindowOver(wdgWinCentral, wdgWinSave);
    gtk_widget_show(wdgWinSave);
}

}  // namespace cvx::windows

GtkWidget* create_winAdjust()
{
    GtkWidget* window = cvx_ui_build("win_adjust.ui", "winAdjust",
                                     {
                                         {"on_winAdjust_delete_event", G_CALLBACK(on_winAdjust_delete_event)},
                                         {"on_winAdjust_show", G_CALLBACK(on_winAdjust_show)},
                                         {"on_winAdjust_key_press_event", G_CALLBACK(on_winAdjust_key_press_event)},
                                         {"on_buttonUp_clicked", G_CALLBACK(on_buttonUp_clicked)},
                                         {"on_buttonLeft_clicked", G_CALLBACK(on_buttonLeft_clicked)},
                                         {"on_buttonRight_clicked", G_CALLBACK(on_buttonRight_clicked)},
                                         {"on_buttonDown_clicked", G_CALLBACK(on_buttonDown_clicked)},
                                         {"on_buttonWider_clicked", G_CALLBACK(on_buttonWider_clicked)},
                                         {"on_buttonNarrower_clicked", G_CALLBACK(on_buttonNarrower_clicked)},
                                         {"on_buttonShorter_clicked", G_CALLBACK(on_buttonShorter_clicked)},
                                         {"on_buttonTaller_clicked", G_CALLBACK(on_buttonTaller_clicked)},
                                         {"on_buttonPrev_clicked", G_CALLBACK(on_buttonPrev_clicked)},
                                         {"on_buttonNext_clicked", G_CALLBACK(on_buttonNext_clicked)},
                                         {"on_buttonApply_pressed", G_CALLBACK(on_buttonApply_pressed)},
                                         {"on_buttonAdjustDone_clicked", G_CALLBACK(on_buttonAdjustDone_clicked)},
                                     });
    cvx_ui_set_pixmap(window, "pixArrowUp", "ArrowUp.xpm");
    cvx_ui_set_pixmap(window, "pixArrowLeft", "ArrowLeft.xpm");
    cvx_ui_set_pixmap(window, "pixArrowRight", "ArrowRight.xpm");
    cvx_ui_set_pixmap(window, "pixArrowDown", "ArrowDown.xpm");
    cvx_ui_set_pixmap(window, "pixWider", "ArrowExpandH.xpm");
    cvx_ui_set_pixmap(window, "pixNarrower", "ArrowShrinkH.xpm");
    cvx_ui_set_pixmap(window, "pixShorter", "ArrowShrinkV.xpm");
    cvx_ui_set_pixmap(window, "pixTaller", "ArrowExpandV.xpm");
    // The global must never outlive the window, whoever destroys it.
    g_signal_connect(window, "destroy", G_CALLBACK(on_winAdjust_destroy), nullptr);
    return window;
}

void refreshAdjustWindow()
{
    if (!wdgWinAdjust)
        return;
    // One error scope for the whole refresh: a refused request returns false
    // by itself, the scope only keeps the error from ending the program, and
    // a sync per request would double the round trips of every click.
    cvx::XErrorScope trap(pDisp);
    int clock = static_cast<int>(device_info[0]);
    if (cvx::running::read_mode_line(pDisp, CurrentScreen, mode_line, clock))
        device_info[0] = static_cast<uint32_t>(clock);
    XSync(pDisp, False);

    char text[CVX_FTOA_BUFFER];
    ftoa(text, static_cast<float>(clock) / 1000.0f);
    gtk_label_set_text(GTK_LABEL(lookup_widget(wdgWinAdjust, "lblPixelClockValue")), text);

    const int refresh = confRefreshRate(clock, mode_line.htotal, mode_line.vtotal);
    // Without ranges from the server the construction range stays.
    int lower = 0, upper = 500;
    monitor_vertical_range(pDisp, CurrentScreen, lower, upper);
    GtkWidget* spin = lookup_widget(wdgWinAdjust, "sbuttonRefresh");
    // Page size 0: a spin button whose adjustment has a page size cannot
    // reach the top page_size values of its range.
    GtkAdjustment* adjustment = gtk_adjustment_new(refresh, lower, upper, 1, 10, 0);
    gtk_spin_button_configure(GTK_SPIN_BUTTON(spin), adjustment, 1, 0);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), refresh);

    showModeParams(&mode_line);
}

void showModeParams(XF86VidModeModeLine* modeLine)
{
    if (!pDisp || !modeLine)
        return;
    cvx::XErrorScope trap(pDisp);
    const int count = display_count(pDisp);
    XF86VidModeModeLine first{}, second{};
    int first_clock = 0, second_clock = 0;
    cvx::running::read_mode_line(pDisp, 0, first, first_clock);
    if (count != 1)
        cvx::running::read_mode_line(pDisp, 1, second, second_clock);
    const std::string summary =
        cvx::running::mode_summary(count, first, first_clock, second, second_clock, DefaultDepth(pDisp, 0));
    if (wdgWinCentral) {
        if (GtkWidget* label = lookup_widget(wdgWinCentral, "lblResInfo"); label && GTK_IS_LABEL(label))
            gtk_label_set_text(GTK_LABEL(label), summary.c_str());
    }

    if (!wdgWinAdjust)
        return;
    GtkWidget* txt = lookup_widget(wdgWinAdjust, "txtParams");
    if (txt && GTK_IS_TEXT_VIEW(txt)) {
        const std::string params = cvx::running::mode_params_text(*modeLine);
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(txt)), params.c_str(), -1);
    }
}

void on_winAdjust_show(GtkWidget* widget, gpointer) noexcept
{
    cvx::guarded("on_winAdjust_show", [&] {
        wdgWinAdjust = widget;
        setWindowIcon(widget);
        {
            cvx::XErrorScope trap(pDisp);
            int clock = static_cast<int>(device_info[0]);
            if (cvx::running::read_mode_line(pDisp, CurrentScreen, mode_line, clock))
                device_info[0] = static_cast<uint32_t>(clock);
        }
        refreshAdjustWindow();
        if (!(bDriverModed && bHalLoaded))
            MsgBox("Corvex Twinscape", "WARNING: Changes made are not supported.", 0);
    });
}

void on_buttonUp_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonUp_clicked", [] { adjustment_action(moveScreenUp); });
}

void on_buttonLeft_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonLeft_clicked", [] { adjustment_action(moveScreenLeft); });
}

void on_buttonRight_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonRight_clicked", [] { adjustment_action(moveScreenRight); });
}

void on_buttonDown_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonDown_clicked", [] { adjustment_action(moveScreenDown); });
}

void on_buttonWider_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonWider_clicked", [] { adjustment_action(resizeScreenWider); });
}

void on_buttonNarrower_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonNarrower_clicked", [] { adjustment_action(resizeScreenNarrower); });
}

void on_buttonShorter_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonShorter_clicked", [] { adjustment_action(resizeScreenShorter); });
}

void on_buttonTaller_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonTaller_clicked", [] { adjustment_action(resizeScreenTaller); });
}

void on_buttonApply_pressed(GtkButton* button, gpointer) noexcept
{
    cvx::guarded("on_buttonApply_pressed", [&] {
        GtkWidget* spin = lookup_widget(GTK_WIDGET(button), "sbuttonRefresh");
        // Take a number still being typed into the entry.
        gtk_spin_button_update(GTK_SPIN_BUTTON(spin));
        const int refresh = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(spin));
        if (bHalLoaded) {
            applyNewRefresh(&mode_line, pDisp, refresh);
            bDidChange = 1;
        }
        refreshAdjustWindow();
    });
}

void on_buttonPrev_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonPrev_clicked", [] { change_mode(-1); });
}

void on_buttonNext_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonNext_clicked", [] { change_mode(+1); });
}

gboolean on_winAdjust_key_press_event(GtkWidget*, GdkEventKey* event, gpointer) noexcept
{
    if (!event || event->keyval != KEY_ESCAPE)
        return FALSE;
    cvx::guarded("on_winAdjust_key_press_event", [] {
        UndoLastChange(&mode_line, pDisp);
        bDidChange = 0;
        refreshAdjustWindow();
    });
    return TRUE;
}

void on_buttonAdjustDone_clicked(GtkButton* button, gpointer) noexcept
{
    cvx::guarded("on_buttonAdjustDone_clicked", [&] {
        if (bDidChange)
            cvx::windows::open_save_dialog(0, false);
        else
            gtk_widget_destroy(gtk_widget_get_toplevel(GTK_WIDGET(button)));
    });
}

gboolean on_winAdjust_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    if (!bDidChange)
        return FALSE;
    cvx::guarded("on_winAdjust_delete_event", [] { cvx::windows::open_save_dialog(0, true); });
    return TRUE;
}
