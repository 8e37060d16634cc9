// The preview window: the configuration file as "Save and Exit" would write
// it now, refreshed on demand from the main window.
#include "windows/win_preview.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config.h"
#include "config/diff.h"
#include "core/c_ptr.h"
#include "core/fd.h"
#include "core/globals.h"
#include "core/paths.h"
#include "shell/guard.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/win_resolutions.h"
#include "windows/window_state.h"
#include "windows/windows.h"

const char* const cvx::windows::kPreviewChangeTag = "cvx-save-changes";

const char* const cvx::windows::kPreviewInitialText =
    "\n---------------------------------------------\n"
    "Corvex Twinscape  - Configuration File\n"
    "---------------------------------------------\n\n"
    "(no data)\n";

namespace {

constexpr const char* kTempName = ".cvxTempForXF86ConfFile";

// Unlinks the temporary file once the preview has it. The file was created
// exclusively under an unpredictable name and is only ever used through the
// descriptor that created it, so nothing planted under the name is written
// or read. A plain file, not a private directory: removing a directory costs
// milliseconds on some file systems, every refresh.
struct TempFile {
    std::string path;
    ~TempFile()
    {
        if (!path.empty() && ::unlink(path.c_str()) != 0)
            std::fprintf(stderr, "cvxscape: cannot remove %s: %s\n", path.c_str(), std::strerror(errno));
    }
};

void reset_preview_button()
{
    if (!wdgWinCentral)
        return;
    GtkWidget* button = lookup_widget(wdgWinCentral, "buttonCentralPreview");
    if (button && GTK_IS_BUTTON(button))
        gtk_button_set_label(GTK_BUTTON(button), "Preview Config. File");
}

void forget_window(GtkWidget* window, gpointer) noexcept
{
    if (wdgWinPreview == window)
        wdgWinPreview = nullptr;
}

}  // namespace

bool cvx::windows::render_config_preview(std::string& text)
{
    text.clear();
    std::string pattern = cvx::paths::temp_dir() + "/" + kTempName + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkostemp: O_EXCL, mode 0600, a fresh name.
    cvx::Fd f(::mkostemp(name.data(), O_CLOEXEC));
    if (!f) {
        std::fprintf(stderr, "cvxscape: cannot create a file for the preview in %s: %s\n",
                     cvx::paths::temp_dir().c_str(), std::strerror(errno));
        return false;
    }
    TempFile file{name.data()};
    // What confWriteConfigFile would write, into our own descriptor rather
    // than through a second open by name.
    const std::string written = confConfigText(pXF86Config);
    if (written.empty() || !cvx::write_all(f.get(), written) || ::lseek(f.get(), 0, SEEK_SET) != 0 ||
        !cvx::read_all(f.get(), text)) {
        text.clear();
        return false;
    }
    return true;
}

namespace {

// The background of the lines a save would add or change: the theme's
// selection colour, faint enough to read the text on it.
GtkTextTag* change_tag(GtkWidget* text, GtkTextBuffer* buffer)
{
    GtkTextTagTable* table = gtk_text_buffer_get_tag_table(buffer);
    if (GtkTextTag* tag = gtk_text_tag_table_lookup(table, cvx::windows::kPreviewChangeTag))
        return tag;
    GdkRGBA colour{0.21, 0.52, 0.89, 1.0};
    gtk_style_context_lookup_color(gtk_widget_get_style_context(text), "theme_selected_bg_color", &colour);
    colour.alpha = 0.25;
    return gtk_text_buffer_create_tag(buffer, cvx::windows::kPreviewChangeTag, "paragraph-background-rgba",
                                      &colour, nullptr);
}

// Marks the lines of `content` that differ from the file on disk: one tag
// range per run of consecutive lines, so that a file that is new throughout
// costs one application, not one per line.
void highlight_changes(GtkWidget* text, GtkTextBuffer* buffer, const std::string& content)
{
    std::string before;
    confReadConfigFile(sConfigFile, before);
    const std::vector<std::size_t> lines = cvx::config::changed_lines(before, content);
    if (lines.empty())
        return;
    GtkTextTag* tag = change_tag(text, buffer);
    std::size_t i = 0;
    while (i < lines.size()) {
        std::size_t j = i + 1;
        while (j < lines.size() && lines[j] == lines[j - 1] + 1)
            ++j;
        // From the run's first line to the start of the line after its last
        // (the end of the text when there is none).
        GtkTextIter start, end;
        gtk_text_buffer_get_iter_at_line(buffer, &start, static_cast<gint>(lines[i]));
        gtk_text_buffer_get_iter_at_line(buffer, &end, static_cast<gint>(lines[j - 1]));
        gtk_text_iter_forward_line(&end);
        gtk_text_buffer_apply_tag(buffer, tag, &start, &end);
        i = j;
    }
}

}  // namespace

void fillConfigPreview(GtkWidget* text, GtkWidget* scrollbar)
{
    if (!text || !GTK_IS_TEXT_VIEW(text))
        return;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(text));
    gtk_text_buffer_set_text(buffer, "", 0);
    cvx::guarded("fillConfigPreview", [&] {
        std::string content;
        cvx::windows::render_config_preview(content);
        // The text widget holds UTF-8 only; other bytes show as U+FFFD.
        cvx::CPtr<gchar, g_free> valid(g_utf8_make_valid(content.data(), static_cast<gssize>(content.size())));
        gtk_text_buffer_set_text(buffer, valid.get(), -1);
        if (!content.empty())
            highlight_changes(text, buffer, content);
    });
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);

    if (scrollbar && GTK_IS_RANGE(scrollbar)) {
        if (GtkAdjustment* adj = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(text)))
            gtk_range_set_adjustment(GTK_RANGE(scrollbar), adj);
        gtk_widget_hide(scrollbar);
        gtk_widget_show(scrollbar);
    }
}

void on_winPreview_show(GtkWidget* window, gpointer) noexcept
{
    wdgWinPreview = window;
    setWindowIcon(window);
    fillConfigPreview(lookup_widget(window, "txtConfig"), lookup_widget(window, "scrollConfig"));
}

void on_buttonPreviewClose_clicked(GtkButton* button, gpointer) noexcept
{
    GtkWidget* window = gtk_widget_get_toplevel(GTK_WIDGET(button));
    wdgWinPreview = nullptr;
    gtk_widget_destroy(window);
    reset_preview_button();
}

gboolean on_winPreview_delete_event(GtkWidget*, GdkEvent*, gpointer) noexcept
{
    wdgWinPreview = nullptr;
    reset_preview_button();
    return FALSE;
}

GtkWidget* create_winPreview()
{
    GtkWidget* window = cvx_ui_build("win_preview.ui", "winPreview", {
        {"on_winPreview_delete_event", G_CALLBACK(on_winPreview_delete_event)},
        {"on_winPreview_show", G_CALLBACK(on_winPreview_show)},
        {"on_buttonPreviewClose_clicked", G_CALLBACK(on_buttonPreviewClose_clicked)},
    });
    if (GtkWidget* text = lookup_widget(window, "txtConfig"))
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(text)), cvx::windows::kPreviewInitialText, -1);
    g_signal_connect(window, "destroy", G_CALLBACK(forget_window), nullptr);
    return window;
}
