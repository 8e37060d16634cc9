// The display modes dialog: fills itself from the configuration tree for the
// display CurrentScreen and writes the resolutions, depth and output type
// back on OK.
#include "windows/win_resolutions.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "config/config.h"
#include "core/c_ptr.h"
#include "core/globals.h"
#include "hw/capabilities.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/window_state.h"
#include "windows/windows.h"

namespace {

constexpr const char* kStandardResolutions[] = {
    "640x480", "800x600", "1024x768", "1152x864", "1280x1024", "1600x1200",
};

constexpr const char* kCableButtons[] = {
    "radioYCComposite", "radioSCARTComposite", "radioSCARTRgb", "radioSCARTType2",
};

GtkWidget* widget_of(GtkWidget* window, const char* name)
{
    return lookup_widget(window, name);
}

bool is_active(GtkWidget* window, const char* name)
{
    GtkWidget* w = widget_of(window, name);
    return w && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
}

void activate(GtkWidget* window, const char* name)
{
    if (GtkWidget* w = widget_of(window, name))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), TRUE);
}

void set_sensitive(GtkWidget* window, const char* name, bool sensitive)
{
    if (GtkWidget* w = widget_of(window, name))
        gtk_widget_set_sensitive(w, sensitive);
}

void set_cable_buttons_sensitive(GtkWidget* window, bool sensitive)
{
    for (const char* name : kCableButtons)
        set_sensitive(window, name, sensitive);
}

bool board_allows_tv_and_digital()
{
    return cvx::hw::board_capabilities(device_info[1], device_info[2] & 0xffu).tv_and_digital;
}

// Mode-line names are listed cut; a cut never splits a UTF-8 character of a
// name that is valid UTF-8.
std::string cut_name(const std::string& name)
{
    if (name.size() <= CVX_RESOLUTION_NAME_MAX)
        return name;
    std::size_t n = CVX_RESOLUTION_NAME_MAX;
    if (g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0u) == 0x80u)
            --n;
    }
    return name.substr(0, n);
}

// Whether an entry is chosen is kept on the entry itself; the list's own
// selection only shows it. GtkListBox changes its selection by itself (focus
// arriving by Tab, its key bindings), and every such change is undone.
constexpr const char* kChosenKey = "cvx-resolution-chosen";
bool g_applying_selection = false;

bool is_chosen(GtkWidget* row)
{
    return g_object_get_data(G_OBJECT(row), kChosenKey) != nullptr;
}

void show_selection(GtkWidget* list, GtkWidget* row)
{
    const bool chosen = is_chosen(row);
    if (gtk_list_box_row_is_selected(GTK_LIST_BOX_ROW(row)) == chosen)
        return;
    const bool was_applying = g_applying_selection;
    g_applying_selection = true;
    if (chosen)
        gtk_list_box_select_row(GTK_LIST_BOX(list), GTK_LIST_BOX_ROW(row));
    else
        gtk_list_box_unselect_row(GTK_LIST_BOX(list), GTK_LIST_BOX_ROW(row));
    g_applying_selection = was_applying;
}

void set_chosen(GtkWidget* list, GtkWidget* row, bool chosen)
{
    g_object_set_data(G_OBJECT(row), kChosenKey, chosen ? GINT_TO_POINTER(1) : nullptr);
    show_selection(list, row);
}

const char* entry_name(GtkWidget* row)
{
    return static_cast<const char*>(g_object_get_data(G_OBJECT(row), CVX_RESOLUTION_NAME_KEY));
}

std::vector<GtkWidget*> list_entries(GtkWidget* list)
{
    std::vector<GtkWidget*> rows;
    cvx::CPtr<GList, g_list_free> children(gtk_container_get_children(GTK_CONTAINER(list)));
    for (GList* it = children.get(); it; it = it->next) {
        GtkWidget* child = GTK_WIDGET(it->data);
        if (GTK_IS_LIST_BOX_ROW(child) && entry_name(child))
            rows.push_back(child);
    }
    return rows;
}

void append_entry(GtkWidget* list, const std::string& name)
{
    GtkWidget* row = gtk_list_box_row_new();
    // The label must be UTF-8; the entry's own copy keeps the name's bytes.
    cvx::CPtr<gchar, g_free> shown(g_utf8_make_valid(name.c_str(), -1));
    GtkWidget* label = gtk_label_new(shown.get());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_widget_set_margin_start(label, 4);
    gtk_container_add(GTK_CONTAINER(row), label);
    g_object_set_data_full(G_OBJECT(row), CVX_RESOLUTION_NAME_KEY, g_strdup(name.c_str()), g_free);
    gtk_container_add(GTK_CONTAINER(list), row);
    gtk_widget_show_all(row);
}

void forget_window(GtkWidget* window, gpointer) noexcept
{
    if (wdgWinResolutions == window)
        wdgWinResolutions = nullptr;
}

void fill_dialog(GtkWidget* window)
{
    GtkWidget* list = widget_of(window, "listResolutions");
    set_sensitive(window, "buttonOkResolution", false);
    if (!list)
        return;
    // A second "show" of the same window starts from an empty list again.
    for (GtkWidget* row : list_entries(list))
        gtk_widget_destroy(row);

    std::vector<std::string> names(std::begin(kStandardResolutions), std::end(kStandardResolutions));
    if (const auto* lines = confGetUserModeLines(pXF86Config, CurrentScreen)) {
        for (const XF86ConfModeLineRec& line : *lines) {
            if (names.size() >= static_cast<std::size_t>(CVX_RESOLUTIONS_MAX))
                break;
            try {
                names.push_back(cut_name(line.identifier));
            } catch (const std::bad_alloc&) {
                MsgBox("Corvex Twinscape", "An internal error has occured. Your system may be out of memory.", 1);
            }
        }
    }
    for (const std::string& name : names)
        append_entry(list, name);

    const int depth = confGetDefaultDepth(pXF86Config, CurrentScreen);
    std::vector<const char*> configured(CVX_RESOLUTIONS_MAX, nullptr);
    const int n = confGetResolutions(pXF86Config, CurrentScreen, depth, configured.data(), CVX_RESOLUTIONS_MAX);
    // Selected directly, so the select handler does not run; each entry is
    // counted once, so the count always equals the entries selected.
    for (GtkWidget* row : list_entries(list)) {
        const char* name = entry_name(row);
        for (int i = 0; i < n; ++i) {
            if (configured[i] && std::strcmp(configured[i], name) == 0) {
                if (!is_chosen(row)) {
                    set_chosen(list, row, true);
                    if (nbElementSelected == 0)
                        set_sensitive(window, "buttonOkResolution", true);
                    ++nbElementSelected;
                }
                break;
            }
        }
    }

    switch (confGetDefaultDepth(pXF86Config, CurrentScreen)) {
    case 8: activate(window, "radio8bpp"); break;
    case 16: activate(window, "radio16bpp"); break;
    case 24: activate(window, "radio24bpp"); break;
    case 32: activate(window, "radio32bpp"); break;
    default: break;
    }

    if (board_allows_tv_and_digital()) {
        const ConfOutputType output = confGetOutputType(pXF86Config, CurrentScreen);
        if (output == CONF_OUTPUT_TV_NTSC || output == CONF_OUTPUT_TV_PAL) {
            activate(window, output == CONF_OUTPUT_TV_PAL ? "radioPAL" : "radioNTSC");
            set_cable_buttons_sensitive(window, true);
            const char* cable = confGetCableType(pXF86Config, CurrentScreen);
            const char* button = "radioYCComposite";
            if (cable && std::strcmp(cable, "SCART_COMPOSITE") == 0)
                button = "radioSCARTComposite";
            else if (cable && std::strcmp(cable, "SCART_TYPE2") == 0)
                button = "radioSCARTType2";
            else if (cable && std::strcmp(cable, "SCART_RGB") == 0)
                button = "radioSCARTRgb";
            activate(window, button);
        } else {
            set_cable_buttons_sensitive(window, false);
            if (output == CONF_OUTPUT_DIGITAL)
                activate(window, "radioDigital");
        }
    } else {
        for (const char* name : {"radioNormal", "radioDigital", "radioNTSC", "radioPAL"})
            set_sensitive(window, name, false);
        set_cable_buttons_sensitive(window, false);
    }
}

void apply_dialog(GtkWidget* window)
{
    GtkWidget* list = widget_of(window, "listResolutions");

    int depth = 16;
    if (is_active(window, "radio8bpp"))
        depth = 8;
    else if (is_active(window, "radio16bpp"))
        depth = 16;
    else if (is_active(window, "radio24bpp"))
        depth = 24;
    else if (is_active(window, "radio32bpp"))
        depth = 32;

    std::vector<std::string> chosen;
    if (list) {
        for (GtkWidget* row : list_entries(list)) {
            if (is_chosen(row))
                chosen.emplace_back(entry_name(row));
        }
    }
    const bool ascending = is_active(window, "radioSmall2Big");
    std::stable_sort(chosen.begin(), chosen.end(), [ascending](const std::string& a, const std::string& b) {
        return (ascending ? compareResolutionsSmall2Big(&a, &b) : compareResolutionsBig2Small(&a, &b)) < 0;
    });

    confApplyDepth(pXF86Config, CurrentScreen, depth);

    std::vector<const char*> names;
    names.reserve(chosen.size());
    for (const std::string& name : chosen)
        names.push_back(name.c_str());
    confApplyResolutions(pXF86Config, CurrentScreen, static_cast<int>(names.size()), names.data());

    const char* cable = "YC_COMPOSITE";
    if (is_active(window, "radioSCARTComposite"))
        cable = "SCART_COMPOSITE";
    else if (is_active(window, "radioSCARTType2"))
        cable = "SCART_TYPE2";
    else if (is_active(window, "radioSCARTRgb"))
        cable = "SCART_RGB";

    if (is_active(window, "radioNormal"))
        confApplyOutputType(pXF86Config, CurrentScreen, CONF_OUTPUT_ANALOG, cable);
    else if (is_active(window, "radioDigital"))
        confApplyOutputType(pXF86Config, CurrentScreen, CONF_OUTPUT_DIGITAL, cable);
    else if (is_active(window, "radioNTSC"))
        confApplyOutputType(pXF86Config, CurrentScreen, CONF_OUTPUT_TV_NTSC, cable);
    else if (is_active(window, "radioPAL"))
        confApplyOutputType(pXF86Config, CurrentScreen, CONF_OUTPUT_TV_PAL, cable);
}

// The row under a pointer position given in root coordinates.
GtkListBoxRow* row_at_root_y(GtkWidget* list, double y_root)
{
    GdkWindow* win = gtk_widget_get_window(list);
    if (!win)
        return nullptr;
    gint ox = 0, oy = 0;
    gdk_window_get_origin(win, &ox, &oy);
    int y = static_cast<int>(y_root) - oy;
    if (!gtk_widget_get_has_window(list)) {
        GtkAllocation alloc;
        gtk_widget_get_allocation(list, &alloc);
        y -= alloc.y;
    }
    return gtk_list_box_get_row_at_y(GTK_LIST_BOX(list), y);
}

GtkWidget* focused_entry(GtkWidget* list)
{
    GtkWidget* toplevel = gtk_widget_get_toplevel(list);
    GtkWidget* focus = GTK_IS_WINDOW(toplevel) ? gtk_window_get_focus(GTK_WINDOW(toplevel)) : nullptr;
    while (focus && !GTK_IS_LIST_BOX_ROW(focus))
        focus = gtk_widget_get_parent(focus);
    if (focus && gtk_widget_get_parent(focus) == list)
        return focus;
    return nullptr;
}

int rows_per_page(GtkWidget* list, GtkWidget* row)
{
    GtkAdjustment* adj = nullptr;
    if (GtkWidget* parent = gtk_widget_get_parent(list); parent && GTK_IS_SCROLLABLE(parent))
        adj = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(parent));
    const int height = row ? gtk_widget_get_allocated_height(row) : 0;
    if (!adj || height <= 0)
        return 1;
    return std::max(1, static_cast<int>(gtk_adjustment_get_page_size(adj)) / height - 1);
}

}  // namespace

// ---------------------------------------------------------------- sorting

long cvx::windows::resolution_sort_key(const std::string& name)
{
    std::size_t i = name.find_first_not_of('x');
    if (i == std::string::npos)
        return 0;
    long key = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        const int digit = name[i] - '0';
        if (key > (LONG_MAX - digit) / 10)
            return LONG_MAX;
        key = key * 10 + digit;
    }
    return key;
}

int compareResolutionsSmall2Big(const std::string* a, const std::string* b)
{
    const long ka = cvx::windows::resolution_sort_key(*a);
    const long kb = cvx::windows::resolution_sort_key(*b);
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

int compareResolutionsBig2Small(const std::string* a, const std::string* b)
{
    return -compareResolutionsSmall2Big(a, b);
}

// ---------------------------------------------------------------- list selection

void cvx::windows::toggle_resolution_entry(GtkWidget* list, GtkWidget* row)
{
    if (is_chosen(row)) {
        set_chosen(list, row, false);
        on_listResolutions_unselect_child(list, row, nullptr);
    } else {
        set_chosen(list, row, true);
        on_listResolutions_select_child(list, row, nullptr);
    }
}

bool cvx::windows::resolution_entry_chosen(GtkWidget* row)
{
    return is_chosen(row);
}

void on_listResolutions_selected_rows_changed(GtkListBox* list, gpointer) noexcept
{
    if (g_applying_selection)
        return;
    for (GtkWidget* row : list_entries(GTK_WIDGET(list)))
        show_selection(GTK_WIDGET(list), row);
}

void on_listResolutions_select_child(GtkWidget* list, GtkWidget* child, gpointer) noexcept
{
    if (nbElementSelected == 0)
        set_sensitive(gtk_widget_get_toplevel(list), "buttonOkResolution", true);
    ++nbElementSelected;
}

void on_listResolutions_unselect_child(GtkWidget* list, GtkWidget* child, gpointer) noexcept
{
    --nbElementSelected;
    if (nbElementSelected == 0)
        set_sensitive(gtk_widget_get_toplevel(list), "buttonOkResolution", false);
}

// A click toggles the entry under the pointer and leaves the others alone;
// the list's own click handling (select one, unselect the rest) never runs.
gboolean on_listResolutions_button_press_event(GtkWidget* list, GdkEventButton* event, gpointer) noexcept
{
    if (event->button != GDK_BUTTON_PRIMARY)
        return FALSE;
    if (event->type == GDK_BUTTON_PRESS) {
        if (GtkListBoxRow* row = row_at_root_y(list, event->y_root)) {
            gtk_widget_grab_focus(GTK_WIDGET(row));
            cvx::windows::toggle_resolution_entry(list, GTK_WIDGET(row));
        }
    }
    return TRUE;
}

// Keyboard use: the arrows, Page Up/Down, Home and End move the focus between
// entries without touching the selection; Space toggles the focused entry.
gboolean on_listResolutions_key_press_event(GtkWidget* list, GdkEventKey* event, gpointer) noexcept
{
    if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))
        return FALSE;
    GtkWidget* focus = focused_entry(list);
    cvx::CPtr<GList, g_list_free> children(gtk_container_get_children(GTK_CONTAINER(list)));
    const int count = static_cast<int>(g_list_length(children.get()));
    const int current = focus ? g_list_index(children.get(), focus) : -1;
    if (count == 0)
        return FALSE;

    int target = -1;
    switch (event->keyval) {
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
        if (focus)
            cvx::windows::toggle_resolution_entry(list, focus);
        return TRUE;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: target = current - 1; break;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: target = current + 1; break;
    case GDK_KEY_Page_Up: case GDK_KEY_KP_Page_Up: target = current - rows_per_page(list, focus); break;
    case GDK_KEY_Page_Down: case GDK_KEY_KP_Page_Down: target = current + rows_per_page(list, focus); break;
    case GDK_KEY_Home: case GDK_KEY_KP_Home: target = 0; break;
    case GDK_KEY_End: case GDK_KEY_KP_End: target = count - 1; break;
    default: return FALSE;
    }
    if (current < 0)
        target = 0;
    target = std::clamp(target, 0, count - 1);
    if (GtkListBoxRow* row = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), target))
        gtk_widget_grab_focus(GTK_WIDGET(row));
    return TRUE;
}

// ---------------------------------------------------------------- output type

void on_radioNTSC_toggled(GtkToggleButton* button, gpointer) noexcept
{
    if (gtk_toggle_button_get_active(button))
        set_cable_buttons_sensitive(gtk_widget_get_toplevel(GTK_WIDGET(button)), true);
}

void on_radioPAL_toggled(GtkToggleButton* button, gpointer) noexcept
{
    if (gtk_toggle_button_get_active(button))
        set_cable_buttons_sensitive(gtk_widget_get_toplevel(GTK_WIDGET(button)), true);
}

void on_radioNormal_toggled(GtkToggleButton* button, gpointer) noexcept
{
    if (gtk_toggle_button_get_active(button))
        set_cable_buttons_sensitive(gtk_widget_get_toplevel(GTK_WIDGET(button)), false);
}

void on_radioDigital_toggled(GtkToggleButton* button, gpointer) noexcept
{
    if (gtk_toggle_button_get_active(button))
        set_cable_buttons_sensitive(gtk_widget_get_toplevel(GTK_WIDGET(button)), false);
}

// ---------------------------------------------------------------- window

void on_winResolutions_show(GtkWidget* window, gpointer) noexcept
{
    wdgWinResolutions = window;
    nbElementSelected = 0;
    setWindowIcon(window);
    cvx::guarded("on_winResolutions_show", [&] { fill_dialog(window); });
}

void on_buttonOkResolution_clicked(GtkButton* button, gpointer) noexcept
{
    GtkWidget* window = gtk_widget_get_toplevel(GTK_WIDGET(button));
    cvx::guarded("on_buttonOkResolution_clicked", [&] { apply_dialog(window); });
    gtk_widget_destroy(window);
}

void on_buttonCancelResolution_clicked(GtkButton* button, gpointer) noexcept
{
    gtk_widget_destroy(gtk_widget_get_toplevel(GTK_WIDGET(button)));
}

gboolean on_winResolutions_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    return FALSE;
}

GtkWidget* create_winResolutions()
{
    GtkWidget* window = cvx_ui_build("win_resolutions.ui", "winResolutions", {
        {"on_winResolutions_show", G_CALLBACK(on_winResolutions_show)},
        {"on_winResolutions_delete_event", G_CALLBACK(on_winResolutions_delete_event)},
        {"on_buttonOkResolution_clicked", G_CALLBACK(on_buttonOkResolution_clicked)},
        {"on_buttonCancelResolution_clicked", G_CALLBACK(on_buttonCancelResolution_clicked)},
        {"on_listResolutions_button_press_event", G_CALLBACK(on_listResolutions_button_press_event)},
        {"on_listResolutions_key_press_event", G_CALLBACK(on_listResolutions_key_press_event)},
        {"on_listResolutions_selected_rows_changed", G_CALLBACK(on_listResolutions_selected_rows_changed)},
        {"on_radioNormal_toggled", G_CALLBACK(on_radioNormal_toggled)},
        {"on_radioDigital_toggled", G_CALLBACK(on_radioDigital_toggled)},
        {"on_radioPAL_toggled", G_CALLBACK(on_radioPAL_toggled)},
        {"on_radioNTSC_toggled", G_CALLBACK(on_radioNTSC_toggled)},
    });
    cvx_ui_set_pixmap(window, "pixBoardWithGear", "BoardWGear.xpm");
    g_signal_connect(window, "destroy", G_CALLBACK(forget_window), nullptr);
    return window;
}
