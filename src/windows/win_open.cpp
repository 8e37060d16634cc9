// The configuration-file window: the first window of the program. It
// proposes the configuration file and its backup path, opens and parses the
// file, probes the board and hands over to the main window.
#include "windows/win_open.h"

#include <cstdint>
#include <cstring>

#include "config/config.h"
#include "core/globals.h"
#include "core/paths.h"
#include "hw/probe.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace cvx::open {

Proposal propose_paths()
{
    xf86setConfigRoot(cvx::paths::config_search_root());
    const char* found = xf86openConfigFile(nullptr, nullptr, "/usr/X11R6");
    if (!found)
        return {"Please specify a configuration file.", "Please specify a backup file."};
    Proposal p{found, std::string(found) + "_CVX-BACKUP"};
    xf86closeConfigFile();
    return p;
}

bool copy_path(char* buffer, const char* text)
{
    if (!text)
        return false;
    const size_t len = std::strlen(text);
    if (len > static_cast<size_t>(CVX_PATH_BUFFER - 1))
        return false;
    std::memcpy(buffer, text, len + 1);
    return true;
}

}  // namespace cvx::open

namespace {

void on_winOpen_destroy(GtkWidget* widget, gpointer) noexcept
{
    if (wdgWinOpen == widget)
        wdgWinOpen = nullptr;
}

void close_winOpen()
{
    if (wdgWinOpen)
        gtk_widget_destroy(wdgWinOpen);
    wdgWinOpen = nullptr;
}

const char* entry_text(const char* name)
{
    GtkWidget* entry = wdgWinOpen ? lookup_widget(wdgWinOpen, name) : nullptr;
    return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
}

}  // namespace

void on_winOpen_show(GtkWidget* widget, gpointer) noexcept
{
    cvx::guarded("on_winOpen_show", [&] {
        wdgWinOpen = widget;
        setWindowIcon(widget);
        const cvx::open::Proposal p = cvx::open::propose_paths();
        if (GtkWidget* e = lookup_widget(widget, "entryConfig"))
            gtk_entry_set_text(GTK_ENTRY(e), p.config.c_str());
        if (GtkWidget* e = lookup_widget(widget, "entryBackup"))
            gtk_entry_set_text(GTK_ENTRY(e), p.backup.c_str());
    });
}

gboolean on_winOpen_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    gtk_main_quit();
    return FALSE;
}

void on_buttonCancelOpenConfig_clicked(GtkButton*, gpointer) noexcept
{
    close_winOpen();
    gtk_main_quit();
}

void on_buttonOkOpenConfig_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonOkOpenConfig_clicked", [&] {
        // A path that does not fit the 255-byte buffers is refused like an
        // invalid file rather than cut to another name.
        // Both are checked before either buffer changes.
        char config[CVX_PATH_BUFFER], backup[CVX_PATH_BUFFER];
        if (!cvx::open::copy_path(config, entry_text("entryConfig")) ||
            !cvx::open::copy_path(backup, entry_text("entryBackup"))) {
            close_winOpen();
            MsgBox("Corvex Twinscape", cvx::open::kInvalidFile, 1);
            return;
        }
        std::memcpy(sConfigFile, config, std::strlen(config) + 1);
        std::memcpy(sConfigBackup, backup, std::strlen(backup) + 1);

        pXF86Config = getConfigPtr(sConfigFile);
        if (!pXF86Config) {
            close_winOpen();
            MsgBox("Corvex Twinscape", cvx::open::kInvalidFile, 1);
            return;
        }
        // Held from now on, like the file's own directory: the save works on
        // what was chosen here, not on whatever the names lead to later.
        confAdoptBackupPath(confOpenedFile, sConfigBackup);

        int device = 0, bus = 0;
        unsigned char revision = 0;
        if (!getCorvexPci(&device, &bus, &device_info[1], &revision)) {
            close_winOpen();
            MsgBox("Corvex Twinscape", cvx::open::kUnsupportedHardware, 1);
            return;
        }
        device_info[2] = (device_info[2] & ~uint32_t{0xFF}) | revision;

        wdgWinCentral = create_winCentral();
        close_winOpen();
        set_window_back(wdgWinCentral, lookup_widget(wdgWinCentral, "fixed3"));
        gtk_widget_show(wdgWinCentral);

        confSetBoardBusID(pXF86Config, bus, device);
        confSetSingleHeadAtStartup(pXF86Config);
    });
}

GtkWidget* create_winOpen()
{
    GtkWidget* window = cvx_ui_build(
        "win_open.ui", "winOpen",
        {{"on_winOpen_show", G_CALLBACK(on_winOpen_show)},
         {"on_winOpen_delete_event", G_CALLBACK(on_winOpen_delete_event)},
         {"on_buttonOkOpenConfig_clicked", G_CALLBACK(on_buttonOkOpenConfig_clicked)},
         {"on_buttonCancelOpenConfig_clicked", G_CALLBACK(on_buttonCancelOpenConfig_clicked)}});
    g_signal_connect(window, "destroy", G_CALLBACK(on_winOpen_destroy), nullptr);
    cvx_ui_set_pixmap(window, "pixCorvexLogo", "corvex.xpm");
    return window;
}
