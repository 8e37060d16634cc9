// The message box: a title, a text and OK; its OK may end the program.
#include "windows/win_msgbox.h"

#include "shell/support.h"
#include "shell/ui.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace {

constexpr const char* kMustExitKey = "cvx-must-exit";

void on_winMsgBox_destroy(GtkWidget* widget, gpointer) noexcept
{
    if (wdgWinMsgbox == widget)
        wdgWinMsgbox = nullptr;
}

}  // namespace

void on_winMsgBox_show(GtkWidget* widget, gpointer) noexcept
{
    wdgWinMsgbox = widget;
    setWindowIcon(widget);
}

gboolean on_winMsgBox_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    return TRUE;
}

void on_buttonOKMsgBox_clicked(GtkButton* button, gpointer) noexcept
{
    // Each box closes itself and ends the program by its own flag, so an
    // older box under a newer one can still be dismissed.
    GtkWidget* box = button ? gtk_widget_get_toplevel(GTK_WIDGET(button)) : wdgWinMsgbox;
    if (!box || !GTK_IS_WINDOW(box))
        box = wdgWinMsgbox;
    if (!box)
        return;
    const bool exit_program = g_object_get_data(G_OBJECT(box), kMustExitKey) != nullptr;
    gtk_widget_destroy(box);
    if (wdgWinMsgbox == box)
        wdgWinMsgbox = nullptr;
    if (exit_program)
        gtk_main_quit();
}

GtkWidget* create_winMsgBox()
{
    GtkWidget* win = cvx_ui_build("win_msgbox.ui", "winMsgBox",
                                  {{"on_winMsgBox_delete_event", G_CALLBACK(on_winMsgBox_delete_event)},
                                   {"on_winMsgBox_show", G_CALLBACK(on_winMsgBox_show)},
                                   {"on_buttonOKMsgBox_clicked", G_CALLBACK(on_buttonOKMsgBox_clicked)}});
    g_signal_connect(win, "destroy", G_CALLBACK(on_winMsgBox_destroy), nullptr);
    cvx_ui_set_pixmap(win, "pixPlanetMsgBox", "planet.xpm");
    return win;
}

void MsgBox(const char* title, const char* text, unsigned char mustExitFlag)
{
    GtkWidget* box = create_winMsgBox();
    wdgWinMsgbox = box;
    set_window_back(box, lookup_widget(box, "fixed8"));
    gtk_window_set_title(GTK_WINDOW(box), title ? title : "");
    setWindowLayer(box);
    GtkWidget* label = lookup_widget(box, "lblMsgBox");
    if (label)
        gtk_label_set_text(GTK_LABEL(label), text ? text : "");
    mustExit = mustExitFlag;
    g_object_set_data(G_OBJECT(box), kMustExitKey, mustExitFlag ? GINT_TO_POINTER(1) : nullptr);
    centerWindowOver(wdgWinCentral, box);
    gtk_widget_show(box);
}
