// The information window: the running server's Xinerama state, the graphics
// BIOS version (read from the board's ROM each time the window is shown), the
// program's version and whether the maker's HAL module answers.
#include "windows/win_info.h"

#include <cstdio>
#include <string>

#include <gdk/gdkx.h>
#include <X11/extensions/Xinerama.h>

#include "core/globals.h"
#include "hw/probe.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/win_resolutions.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace {

// Shown when a board is present but its ROM gives no version.
constexpr const char* kBiosVersionUnreadable = "Not available";

void set_label(GtkWidget* window, const char* name, const std::string& text)
{
    if (GtkWidget* label = lookup_widget(window, name); label && GTK_IS_LABEL(label))
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

Display* x_display()
{
    if (pDisp)
        return pDisp;
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display) ? gdk_x11_display_get_xdisplay(display) : nullptr;
}

void forget_window(GtkWidget* window, gpointer) noexcept
{
    if (wdgWinInfo == window)
        wdgWinInfo = nullptr;
}

}  // namespace

void on_winInfo_show(GtkWidget* window, gpointer) noexcept
{
    // Stored first, so the labels are found even when the opener did not
    // store the window before showing it.
    wdgWinInfo = window;
    setWindowIcon(window);
    cvx::guarded("on_winInfo_show", [&] {
        Display* display = x_display();
        const bool xinerama = display && XineramaIsActive(display);
        set_label(window, "lblXinerama", xinerama ? "Xinerama: Enabled" : "Xinerama: Disabled");

        char bios[50] = {};
        DisplayBiosVersion(bios, sizeof bios);
        bios[sizeof bios - 1] = '\0';
        set_label(window, "lblBiosVersion",
                  std::string("Graphics BIOS version: ") + (bios[0] ? bios : kBiosVersionUnreadable));

        char version[200];
        std::snprintf(version, sizeof version, "Corvex Twinscape (Linux) version: %d.%02d.%d", CVX_VERSION_MAJOR,
                      CVX_VERSION_MINOR, CVX_VERSION_BUILD);
        set_label(window, "lblVersion", version);

        if (bDriverModed)
            set_label(window, "lblHAL", bHalLoaded ? "Corvex HAL library: Installed" : "Corvex HAL library: Not installed");
        // A merged framebuffer is only offered by the HAL module.
        if (bInMergedMode)
            set_label(window, "lblHAL", "Corvex HAL library: Installed");
    });
}

gboolean on_winInfo_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    return FALSE;
}

void on_buttonInfoOk_clicked(GtkButton* button, gpointer) noexcept
{
    gtk_widget_destroy(gtk_widget_get_toplevel(GTK_WIDGET(button)));
}

GtkWidget* create_winInfo()
{
    GtkWidget* window = cvx_ui_build("win_info.ui", "winInfo", {
        {"on_winInfo_delete_event", G_CALLBACK(on_winInfo_delete_event)},
        {"on_winInfo_show", G_CALLBACK(on_winInfo_show)},
        {"on_buttonInfoOk_clicked", G_CALLBACK(on_buttonInfoOk_clicked)},
    });
    cvx_ui_set_pixmap(window, "pixCorvexPlanetLogo", "planet.xpm");
    g_signal_connect(window, "destroy", G_CALLBACK(forget_window), nullptr);
    return window;
}
