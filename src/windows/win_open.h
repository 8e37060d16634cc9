// The configuration-file window's handlers and the path checks they use.
// create_winOpen is declared in windows.h.
#pragma once

#include <string>

#include <gtk/gtk.h>

void on_winOpen_show(GtkWidget* widget, gpointer user_data) noexcept;
gboolean on_winOpen_delete_event(GtkWidget* widget, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonOkOpenConfig_clicked(GtkButton* button, gpointer user_data) noexcept;
void on_buttonCancelOpenConfig_clicked(GtkButton* button, gpointer user_data) noexcept;

namespace cvx::open {

// The two paths proposed by the show handler: the file found by the
// configuration library's default search and that path + "_CVX-BACKUP", or
// the two request texts when none is found.
struct Proposal {
    std::string config;
    std::string backup;
};
Proposal propose_paths();

// Copies `text` into a path buffer of CVX_PATH_BUFFER bytes; false (buffer
// untouched) when it does not fit whole: paths are refused, never cut.
bool copy_path(char* buffer, const char* text);

inline constexpr const char* kInvalidFile =
    "ERROR: The specified file isn't valid. Please make sure the file name refers to a valid "
    "configuration file.";
inline constexpr const char* kUnsupportedHardware =
    "ERROR: Your graphics hardware is not supported by this version of Corvex Twinscape.";

}  // namespace cvx::open
