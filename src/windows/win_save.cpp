// The save custom mode dialog: Yes stores the adjusted mode as a ModeLine of
// the display's monitor, No undoes it on the running display; then the
// monitor settings window closes or moves on to the previous or next mode.
#include "windows/win_save.h"


#include "config/config.h"
#include "config/modeline.h"
#include "core/globals.h"
#include "driver/channel.h"
#include "driver/running.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace {

// What the user asked for before the dialog came up: close the monitor
// settings window, or switch mode and show the new one.
void finish_answer(GtkWidget* dialog)
{
    if (modeChange == 1 || modeChange == -1) {
        cvx::running::switch_mode(pDisp, CurrentScreen, modeChange);
        modeChange = 0;
        refreshAdjustWindow();
    } else if (wdgWinAdjust) {
        gtk_widget_destroy(wdgWinAdjust);
    }
    gtk_widget_destroy(dialog);
}

void on_winSaveMode_destroy(GtkWidget* widget, gpointer) noexcept
{
    if (wdgWinSave == widget)
        wdgWinSave = nullptr;
}

}  // namespace

GtkWidget* create_winSaveMode()
{
    GtkWidget* window = cvx_ui_build("win_save.ui", "winSaveMode",
                                     {
                                         {"on_winSaveMode_delete_event", G_CALLBACK(on_winSaveMode_delete_event)},
                                         {"on_winSaveMode_show", G_CALLBACK(on_winSaveMode_show)},
                                         {"on_buttonSaveYes_clicked", G_CALLBACK(on_buttonSaveYes_clicked)},
                                         {"on_buttonSaveNo_clicked", G_CALLBACK(on_buttonSaveNo_clicked)},
                                     });
    cvx_ui_set_pixmap(window, "pixPlanet", "planet.xpm");
    g_signal_connect(window, "destroy", G_CALLBACK(on_winSaveMode_destroy), nullptr);
    return window;
}

void on_winSaveMode_show(GtkWidget* widget, gpointer) noexcept
{
    cvx::guarded("on_winSaveMode_show", [&] {
        wdgWinSave = widget;
        setWindowIcon(widget);
    });
}

gboolean on_winSaveMode_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    // Only Yes and No end the dialog.
    return TRUE;
}

void on_buttonSaveYes_clicked(GtkButton* button, gpointer) noexcept
{
    cvx::guarded("on_buttonSaveYes_clicked", [&] {
        // The mode as the server reported it after the last change; a server
        // that keeps the channel's marker in the flags must not have it
        // stored in the configuration.
        XF86VidModeModeLine mode = mode_line;
        mode.flags &= ~CVX_DRIVER_COMMAND_MARKER;
        mode.privsize = 0;
        mode.c_private = nullptr;
        confAddModeline(pXF86Config, CurrentScreen, &mode, static_cast<int>(device_info[0]));
        bDidChange = 0;
        finish_answer(gtk_widget_get_toplevel(GTK_WIDGET(button)));
    });
}

void on_buttonSaveNo_clicked(GtkButton* button, gpointer) noexcept
{
    cvx::guarded("on_buttonSaveNo_clicked", [&] {
        UndoLastChange(&mode_line, pDisp);
        bDidChange = 0;
        finish_answer(gtk_widget_get_toplevel(GTK_WIDGET(button)));
    });
}
