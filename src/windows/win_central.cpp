// The main window: the two displays in their configured arrangement, the
// PairView mode controls, and the buttons to the other windows and out.
// Every choice edits the configuration tree in memory; only "Save and Exit"
// writes the file.
#include "windows/win_central.h"

#include <cstdio>
#include <string>

#include "config/config.h"
#include "core/globals.h"
#include "driver/channel.h"
#include "driver/running.h"
#include "hw/capabilities.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/win_identify.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace cvx::central {
namespace {

// The maker's software page, quoted at the end of the two driver warnings.
constexpr const char* kMakerSite = "www.corvex.example";

constexpr const char* kTitle = "Corvex Twinscape";

GtkWidget* widget(const char* name)
{
    return wdgWinCentral ? lookup_widget(wdgWinCentral, name) : nullptr;
}

void set_sensitive(const char* name, bool sensitive)
{
    if (GtkWidget* w = widget(name))
        gtk_widget_set_sensitive(w, sensitive);
}

// Runs the button's toggled handler when the state changes.
void set_active(const char* name, bool active)
{
    if (GtkWidget* w = widget(name))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), active);
}

void draw_configured_layout()
{
    int first = 0, relation = where, second = 1;
    confGetServerLayout(pXF86Config, &first, &relation, &second);
    drawLayout(first, relation, second);
}

// The mode the radio buttons stand for. GTK runs the old button's handler
// (inactive) before the new one's (active); the new one switches the tree
// from this mode.
ConfDisplayMode s_mode = CONF_MODE_SINGLE;

void switch_to(ConfDisplayMode mode)
{
    confSwitchDisplayMode(pXF86Config, s_mode, mode);
    s_mode = mode;
}

// The mode summary of "lblResInfo"; sets bInMergedMode when screen 0 reports
// no dot clock (a merged framebuffer has no single timing).
void fill_mode_summary(int screens)
{
    const int depth = pDisp ? DefaultDepthOfScreen(ScreenOfDisplay(pDisp, 0)) : 0;
    XF86VidModeModeLine first = {}, other = {};
    int first_clock = 0, other_clock = 0;
    const bool first_ok = cvx::running::read_mode_line(pDisp, 0, first, first_clock);
    std::string text;
    if (first_ok && first_clock == 0) {
        text = screens == 1 ? "Merged Display Mode Enabled."
                            : "Merged Display Mode active.\nDynamic screen adjustment disabled.";
        bInMergedMode = 1;
    } else {
        text = first_ok ? cvx::running::display_line(1, first, first_clock, depth) : "Display 1 : --";
        if (screens != 1) {
            const bool other_ok = cvx::running::read_mode_line(pDisp, 1, other, other_clock);
            text += "\n";
            text += other_ok ? cvx::running::display_line(2, other, other_clock, depth) : "Display 2 : --";
        }
    }
    if (GtkWidget* label = widget("lblResInfo"))
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

std::string driver_warning(const char* what)
{
    return std::string("WARNING: ") + what +
           " Some features are not supported.\n\nThe latest Corvex software is available at:\n" + kMakerSite;
}

void warn_hal_missing()
{
    MsgBox(kTitle, driver_warning("The Corvex HAL library (the \"cvx_hal_drv.o\" file) is not detected.").c_str(), 0);
}

void warn_driver_incompatible()
{
    MsgBox(kTitle,
           driver_warning("The current display driver is not compatible with this version of Corvex Twinscape.")
               .c_str(),
           0);
}

// What the board and its driver can do; at most one of the three warnings.
void check_board_and_driver()
{
    const cvx::hw::BoardCapabilities board = cvx::hw::board_capabilities(device_info[1], device_info[2] & 0xffu);
    if (!board.supported) {
        bDriverModed = 0;
        MsgBox(kTitle,
               "WARNING: Your graphics hardware is not compatible with this version of Corvex Twinscape. "
               "Some features are not supported.",
               0);
        set_sensitive("radioMergedDisplay", false);
        return;
    }
    if (!board.merged)
        set_sensitive("radioMergedDisplay", false);

    if (bInMergedMode) {
        bDriverModed = 0;
        set_sensitive("buttonIdentify", false);
    } else if (isDriverModed(&mode_line, pDisp)) {
        bDriverModed = 1;
        if (isHalLoaded(&mode_line, pDisp)) {
            bHalLoaded = 1;
        } else {
            bHalLoaded = 0;
            warn_hal_missing();
        }
        if (!isMergedAvailable(&mode_line, pDisp)) {
            if (bHalLoaded)
                warn_driver_incompatible();
            set_sensitive("radioMergedDisplay", false);
        }
    } else {
        bDriverModed = 0;
        warn_driver_incompatible();
    }
    if (!bHalLoaded && !isHalModulePresent())
        set_sensitive("radioMergedDisplay", false);
}

void forget_main_window(GtkWidget* window, gpointer) noexcept
{
    if (wdgWinCentral == window)
        wdgWinCentral = nullptr;
}

void open_resolutions(int screen)
{
    CurrentScreen = screen;
    wdgWinResolutions = create_winResolutions();
    if (!wdgWinResolutions)
        return;
    set_window_back(wdgWinResolutions, lookup_widget(wdgWinResolutions, "fixed6"));
    // The second display's dialog is left to the window manager to place.
    if (screen == 0)
        centerWindowOver(wdgWinCentral, wdgWinResolutions);
    gtk_widget_show(wdgWinResolutions);
}

bool refuse_adjust_in_merged_mode()
{
    if (!bInMergedMode)
        return false;
    MsgBox(kTitle, "This feature is not available while in Merged Display Mode.", 0);
    return true;
}

void open_adjust(int screen)
{
    CurrentScreen = screen;
    wdgWinAdjust = create_winAdjust();
    if (!wdgWinAdjust)
        return;
    set_window_back(wdgWinAdjust, lookup_widget(wdgWinAdjust, "fixed1"));
    if (screen == 0)
        centerWindowOver(wdgWinCentral, wdgWinAdjust);
    gtk_widget_show(wdgWinAdjust);
}

}  // namespace
}  // namespace cvx::central

using namespace cvx::central;

GtkWidget* create_winCentral()
{
    s_mode = CONF_MODE_SINGLE;
    GtkWidget* window = cvx_ui_build(
        "win_central.ui", "winCentral",
        {
            {"on_winCentral_delete_event", G_CALLBACK(on_winCentral_delete_event)},
            {"on_winCentral_show", G_CALLBACK(on_winCentral_show)},
            {"on_buttonInvert_clicked", G_CALLBACK(on_buttonInvert_clicked)},
            {"on_buttonResolution1_clicked", G_CALLBACK(on_buttonResolution1_clicked)},
            {"on_buttonResolution2_clicked", G_CALLBACK(on_buttonResolution2_clicked)},
            {"on_buttonAdjust1_clicked", G_CALLBACK(on_buttonAdjust1_clicked)},
            {"on_buttonAdjust2_clicked", G_CALLBACK(on_buttonAdjust2_clicked)},
            {"on_buttonIdentify_clicked", G_CALLBACK(on_buttonIdentify_clicked)},
            {"on_buttonCentralOk_clicked", G_CALLBACK(on_buttonCentralOk_clicked)},
            {"on_buttonCentralCancel_clicked", G_CALLBACK(on_buttonCentralCancel_clicked)},
            {"on_buttonCentralPreview_clicked", G_CALLBACK(on_buttonCentralPreview_clicked)},
            {"on_buttonInfo_clicked", G_CALLBACK(on_buttonInfo_clicked)},
            {"on_radioOff_toggled", G_CALLBACK(on_radioOff_toggled)},
            {"on_radioClone_toggled", G_CALLBACK(on_radioClone_toggled)},
            {"on_radioMultiDisplay_toggled", G_CALLBACK(on_radioMultiDisplay_toggled)},
            {"on_checkXinerama_toggled", G_CALLBACK(on_checkXinerama_toggled)},
            {"on_checkHwCursor_toggled", G_CALLBACK(on_checkHwCursor_toggled)},
            {"on_radioMergedDisplay_toggled", G_CALLBACK(on_radioMergedDisplay_toggled)},
        });
    cvx_ui_set_pixmap(window, "pixInvert", "invert.xpm");
    cvx_ui_set_pixmap(window, "pixMonitor1", "monitor1small.xpm");
    cvx_ui_set_pixmap(window, "pixMonitor2", "monitor2small.xpm");
    cvx_ui_set_pixmap(window, "pixPVMultiDisplay", "PVClone.xpm");
    cvx_ui_set_pixmap(window, "pixmap1", "PVMultiDisplay.xpm");
    cvx_ui_set_pixmap(window, "pixmap2", "PVMergedDisplay.xpm");
    // The identify timer and late dialogs may outlive the window; they must
    // not reach it through a stale pointer.
    g_signal_connect(window, "destroy", G_CALLBACK(forget_main_window), nullptr);
    return window;
}

void drawLayout(int first, int relation, int second)
{
    cvx::guarded("drawLayout", [&] {
        GtkWidget* display1 = widget("buttonResolution1");
        GtkWidget* display2 = widget("buttonResolution2");
        GtkWidget* adjust1 = widget("buttonAdjust1");
        GtkWidget* adjust2 = widget("buttonAdjust2");
        if (!((first == 0 && second == 1) || (first == 1 && second == 0))) {
            MsgBox("Corvex Twinscape - Invalid screen index", "drawLayout() received an invalid screen index.", 1);
            return;
        }
        if (!confIsRelation(relation)) {
            MsgBox("Corvex Twinscape - Invalid CONF_ADJ (where)", "drawLayout() received an invalid screen adjacency.",
                   1);
            return;
        }
        if (!display1 || !display2 || !adjust1 || !adjust2)
            return;

        struct Point { int x, y; };
        constexpr Point kLeft{24, 96}, kRight{216, 96}, kUpper{120, 16}, kLower{120, 200};
        Point pos1{}, pos2{};
        switch (first == 0 ? relation : confOppositeRelation(relation)) {
        case CONF_ADJ_RIGHTOF: pos1 = kRight; pos2 = kLeft; break;
        case CONF_ADJ_LEFTOF: pos1 = kLeft; pos2 = kRight; break;
        case CONF_ADJ_ABOVE: pos1 = kUpper; pos2 = kLower; break;
        default: pos1 = kLower; pos2 = kUpper; break;
        }

        // The Adjust button starts where its picture ends. Before the first
        // size allocation the picture's allocation is still 1 pixel high, so
        // its requested height is the one that counts.
        auto picture_height = [](GtkWidget* button) {
            int w = -1, h = -1;
            gtk_widget_get_size_request(button, &w, &h);
            return h > 0 ? h : gtk_widget_get_allocated_height(button);
        };
        GtkFixed* fixed = GTK_FIXED(gtk_widget_get_parent(display1));
        gtk_fixed_move(fixed, display1, pos1.x, pos1.y);
        gtk_fixed_move(fixed, adjust1, pos1.x, pos1.y + picture_height(display1));
        gtk_fixed_move(fixed, display2, pos2.x, pos2.y);
        gtk_fixed_move(fixed, adjust2, pos2.x, pos2.y + picture_height(display2));
    });
}

void on_winCentral_show(GtkWidget* window, gpointer) noexcept
{
    cvx::guarded("on_winCentral_show", [&] {
        int screens = 1;
        wdgWinCentral = window;
        setWindowIcon(window);

        if (cvx::hw::board_capabilities(device_info[1], device_info[2] & 0xffu).two_displays) {
            // The tree is switched first; the radio button's handler then
            // finds it in its mode already and sets the controls.
            s_mode = confOpenDisplayMode(pXF86Config);
            switch (s_mode) {
            case CONF_MODE_MULTI: set_active("radioMultiDisplay", true); break;
            case CONF_MODE_CLONE:
                set_active("radioClone", true);
                set_sensitive("buttonInvert", false);
                break;
            case CONF_MODE_MERGED: set_active("radioMergedDisplay", true); break;
            case CONF_MODE_SINGLE:
                set_sensitive("buttonResolution2", false);
                set_sensitive("buttonAdjust2", false);
                set_sensitive("buttonInvert", false);
                break;
            }
            screens = cvx::running::xinerama_screen_count(pDisp);
        } else {
            for (const char* name : {"radioOff", "radioMultiDisplay", "radioClone", "buttonResolution2",
                                     "buttonAdjust2", "buttonInvert", "checkXinerama"})
                set_sensitive(name, false);
        }

        set_active("checkXinerama", confXineramaIsActive(pXF86Config));
        set_active("checkHwCursor", confHWCursorIsActive(pXF86Config));
        confMatchModulesToXinerama(pXF86Config);

        fill_mode_summary(screens);
        check_board_and_driver();
    });
}

gboolean on_winCentral_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    gtk_main_quit();
    return FALSE;
}

// The radio handlers switch the tree through the model (the Xinerama and
// cursor check boxes are then set to what it did, so their handlers find
// nothing to change) and set the controls of the new mode.
void on_radioOff_toggled(GtkToggleButton* button, gpointer) noexcept
{
    cvx::guarded("on_radioOff_toggled", [&] {
        if (!gtk_toggle_button_get_active(button))
            return;
        switch_to(CONF_MODE_SINGLE);
        drawLayout(0, CONF_ADJ_LEFTOF, 1);
        set_active("checkXinerama", false);
    });
}

void on_radioMultiDisplay_toggled(GtkToggleButton* button, gpointer) noexcept
{
    cvx::guarded("on_radioMultiDisplay_toggled", [&] {
        if (gtk_toggle_button_get_active(button)) {
            set_sensitive("buttonResolution2", true);
            set_sensitive("buttonInvert", true);
            set_sensitive("buttonAdjust2", true);
            switch_to(CONF_MODE_MULTI);
            draw_configured_layout();
            set_active("checkXinerama", true);
        } else {
            set_sensitive("buttonResolution2", false);
            set_sensitive("buttonInvert", false);
            set_sensitive("buttonAdjust2", false);
        }
    });
}

void on_radioClone_toggled(GtkToggleButton* button, gpointer) noexcept
{
    cvx::guarded("on_radioClone_toggled", [&] {
        if (gtk_toggle_button_get_active(button)) {
            set_sensitive("buttonResolution2", true);
            set_sensitive("buttonAdjust2", true);
            switch_to(CONF_MODE_CLONE);
            drawLayout(0, CONF_ADJ_LEFTOF, 1);
            set_active("checkXinerama", true);
            set_sensitive("checkXinerama", false);
        } else {
            set_sensitive("checkXinerama", true);
            set_sensitive("buttonResolution2", false);
            set_sensitive("buttonInvert", false);
            set_sensitive("buttonAdjust2", false);
        }
    });
}

void on_radioMergedDisplay_toggled(GtkToggleButton* button, gpointer) noexcept
{
    cvx::guarded("on_radioMergedDisplay_toggled", [&] {
        if (gtk_toggle_button_get_active(button)) {
            set_sensitive("buttonResolution2", true);
            set_sensitive("buttonInvert", true);
            set_sensitive("buttonAdjust2", true);
            switch_to(CONF_MODE_MERGED);
            draw_configured_layout();
            set_active("checkXinerama", false);
            set_sensitive("checkXinerama", false);
            set_active("checkHwCursor", false);
            set_sensitive("checkHwCursor", false);
        } else {
            set_sensitive("checkHwCursor", true);
            set_sensitive("checkXinerama", true);
            set_sensitive("buttonResolution2", false);
            set_sensitive("buttonInvert", false);
            set_sensitive("buttonAdjust2", false);
        }
    });
}

void on_checkXinerama_toggled(GtkToggleButton* button, gpointer) noexcept
{
    cvx::guarded("on_checkXinerama_toggled", [&] {
        const bool active = gtk_toggle_button_get_active(button);
        if (active && !confXineramaIsActive(pXF86Config))
            set_active("radioMergedDisplay", false);
        confSetXinerama(pXF86Config, active);
    });
}

void on_checkHwCursor_toggled(GtkToggleButton* button, gpointer) noexcept
{
    cvx::guarded("on_checkHwCursor_toggled", [&] {
        confSetHWCursor(pXF86Config, gtk_toggle_button_get_active(button));
    });
}

void on_buttonInvert_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonInvert_clicked", [&] {
        confInvertLayout(pXF86Config);
        draw_configured_layout();
    });
}

void on_buttonResolution1_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonResolution1_clicked", [] { open_resolutions(0); });
}

void on_buttonResolution2_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonResolution2_clicked", [] { open_resolutions(1); });
}

void on_buttonAdjust1_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonAdjust1_clicked", [] {
        if (!refuse_adjust_in_merged_mode())
            open_adjust(0);
    });
}

void on_buttonAdjust2_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonAdjust2_clicked", [] {
        if (refuse_adjust_in_merged_mode())
            return;
        if (wasSingleHeadAtStartup) {
            MsgBox(kTitle,
                   "The secondary display of your PairView hardware isn't currently active.\n\n"
                   "To change settings for this secondary display, you need to first restart your operating system.",
                   0);
            return;
        }
        open_adjust(1);
    });
}

void on_buttonIdentify_clicked(GtkButton* button, gpointer) noexcept
{
    cvx::guarded("on_buttonIdentify_clicked", [&] {
        const int count = cvx::identify::open_windows(wdgWinCentral);
        // Disabled until the timer has closed this set, so there is never a
        // second one.
        gtk_widget_set_sensitive(GTK_WIDGET(button), FALSE);
        g_timeout_add(CVX_IDENTIFY_MS, timeout_callback_destroy, GINT_TO_POINTER(count));
    });
}

gboolean timeout_callback_destroy(gpointer data) noexcept
{
    cvx::guarded("timeout_callback_destroy", [&] {
        set_sensitive("buttonIdentify", true);
        cvx::identify::close_windows(GPOINTER_TO_INT(data));
    });
    return FALSE;
}

void on_buttonCentralOk_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonCentralOk_clicked", [] {
        std::string message;
        if (!confSaveConfiguration(confOpenedFile, pXF86Config, message) && message.empty())
            message = "ERROR: The configuration file couldn't be written to. Settings haven't been changed.";
        // Shown before the main window goes, so that it is centred over it.
        MsgBox(kTitle, message.c_str(), 1);
        xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
        confOpenedFile = ConfOpenedFile{};
        if (wdgWinCentral)
            gtk_widget_destroy(wdgWinCentral);
    });
}

void on_buttonCentralCancel_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonCentralCancel_clicked", [] {
        if (wdgWinCentral)
            gtk_widget_destroy(wdgWinCentral);
        gtk_main_quit();
    });
}

void on_buttonCentralPreview_clicked(GtkButton* button, gpointer) noexcept
{
    cvx::guarded("on_buttonCentralPreview_clicked", [&] {
        if (!wdgWinPreview) {
            wdgWinPreview = create_winPreview();
            if (!wdgWinPreview)
                return;
            set_window_back(wdgWinPreview, lookup_widget(wdgWinPreview, "fixed9"));
            gtk_widget_show(wdgWinPreview);
            gtk_button_set_label(button, "Refresh Preview");
        } else {
            fillConfigPreview(lookup_widget(wdgWinPreview, "txtConfig"), lookup_widget(wdgWinPreview, "scrollConfig"));
        }
    });
}

void on_buttonInfo_clicked(GtkButton*, gpointer) noexcept
{
    cvx::guarded("on_buttonInfo_clicked", [] {
        wdgWinInfo = create_winInfo();
        if (!wdgWinInfo)
            return;
        set_window_back(wdgWinInfo, lookup_widget(wdgWinInfo, "fixed10"));
        centerWindowOver(wdgWinCentral, wdgWinInfo);
        gtk_widget_show(wdgWinInfo);
    });
}
