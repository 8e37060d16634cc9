// The preview window's handlers and the preview's rendering.
#pragma once

#include <gtk/gtk.h>

#include <string>

void on_winPreview_show(GtkWidget* window, gpointer user_data) noexcept;
gboolean on_winPreview_delete_event(GtkWidget* window, GdkEvent* event, gpointer user_data) noexcept;
void on_buttonPreviewClose_clicked(GtkButton* button, gpointer user_data) noexcept;

namespace cvx::windows {

// The text shown before the first fill.
extern const char* const kPreviewInitialText;
// The text tag on the lines that saving would add or change, compared with
// the file at sConfigFile as it stands.
extern const char* const kPreviewChangeTag;

// The configuration file as saving would write it now: the text
// confWriteConfigFile would write, written into a file under the temporary
// directory (created exclusively, mode 0600, unpredictable name), read back
// through the same descriptor, then removed. False (and `text` empty) when
// nothing could be written or read.
bool render_config_preview(std::string& text);

}  // namespace cvx::windows
