// The display modes dialog: its handlers and the pieces its tests drive.
//
// The list "listResolutions" is a GtkListBox in multiple-selection mode whose
// clicks and Space key toggle one entry, as the design's list does; every
// entry (a GtkListBoxRow) carries its own copy of its name as object data
// under CVX_RESOLUTION_NAME_KEY, released with the entry.
#pragma once

#include <gtk/gtk.h>

#include <string>

inline constexpr const char* CVX_RESOLUTION_NAME_KEY = "cvx-resolution-name";
// Mode-line names are listed cut to this many bytes; the list holds at most
// CVX_RESOLUTIONS_MAX entries (the six standard names included).
inline constexpr std::size_t CVX_RESOLUTION_NAME_MAX = 49;
inline constexpr int CVX_RESOLUTIONS_MAX = 200;

void on_winResolutions_show(GtkWidget* window, gpointer user_data) noexcept;
gboolean on_winResolutions_delete_event(GtkWidget* window, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonOkResolution_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonCancelResolution_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_listResolutions_select_child(GtkWidget* list, GtkWidget* child, gpointer user_data) noexcept;
void on_listResolutions_unselect_child(GtkWidget* list, GtkWidget* child, gpointer user_data) noexcept;
gboolean on_listResolutions_button_press_event(GtkWidget* list, GdkEventButton* event, gpointer user_data) noexcept;
gboolean on_listResolutions_key_press_event(GtkWidget* list, GdkEventKey* event, gpointer user_data) noexcept;
void on_listResolutions_selected_rows_changed(GtkListBox* list, gpointer user_data) noexcept;
void on_radioNormal_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_radioDigital_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_radioPAL_toggled(GtkToggleButton* button, gpointer user_data) noexcept;
void on_radioNTSC_toggled(GtkToggleButton* button, gpointer user_data) noexcept;

// Sort comparisons of OK: each takes two names and returns <0, 0 or >0 by the
// number before the first 'x' (leading 'x's skipped; 0 when no digit leads).
int compareResolutionsSmall2Big(const std::string* a, const std::string* b);
int compareResolutionsBig2Small(const std::string* a, const std::string* b);

namespace cvx::windows {

long resolution_sort_key(const std::string& name);

// Toggles the selection of one entry of the list as a click does, running the
// select or unselect handler.
void toggle_resolution_entry(GtkWidget* list, GtkWidget* row);
// Whether the entry is chosen (what OK collects); the list shows exactly these
// entries as selected.
bool resolution_entry_chosen(GtkWidget* row);

}  // namespace cvx::windows
