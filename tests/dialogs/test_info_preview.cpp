// The information and preview windows against a real X server.
#include "fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtk/gtk.h>
#include "config/config.h"

#include <gdk/gdkx.h>
#include <X11/extensions/Xinerama.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/diff.h"
#include "core/globals.h"
#include "core/paths.h"
#include "windows/window_state.h"
#include "shell/support.h"
#include "windows/win_info.h"
#include "windows/win_preview.h"
#include "windows/windows.h"

using namespace cvx::test::dialogs;
namespace fs = std::filesystem;

namespace {

std::string board_file(const char* name)
{
    return cvx::test::source_dir() + "/emulation/boards/" + name;
}

struct BoardEnv {
    explicit BoardEnv(const std::string& file) { setenv("CVXSCAPE_BOARD", file.c_str(), 1); }
    ~BoardEnv() { unsetenv("CVXSCAPE_BOARD"); }
};

GtkWidget* open_info()
{
    GtkWidget* w = create_winInfo();
    wdgWinInfo = w;
    set_window_back(w, lookup_widget(w, "fixed10"));
    gtk_widget_show(w);
    cvx::test::pump_events();
    return w;
}

GtkWidget* open_preview()
{
    GtkWidget* w = create_winPreview();
    wdgWinPreview = w;
    set_window_back(w, lookup_widget(w, "fixed9"));
    gtk_widget_show(w);
    cvx::test::pump_events();
    return w;
}

std::string preview_text(GtkWidget* w)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(lookup_widget(w, "txtConfig")));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
    std::string s = text;
    g_free(text);
    return s;
}

// What "Save and Exit" writes now: the save sequence run on a scratch file.
std::string saved_text()
{
    const std::string file = root().file("saved.conf");
    { std::ofstream(file, std::ios::binary) << "# old\n"; }
    ConfOpenedFile scratch;
    EXPECT_TRUE(confAdoptOpenedFile(file.c_str(), scratch));
    confAdoptBackupPath(scratch, (file + ".bak").c_str());
    std::string message;
    EXPECT_TRUE(confSaveConfiguration(scratch, pXF86Config, message)) << message;
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    fs::remove(file);
    fs::remove(file + ".bak");
    return ss.str();
}

std::vector<std::string> temp_dir_entries()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(cvx::paths::temp_dir()))
        names.push_back(e.path().filename().string());
    return names;
}

// Lines (0-based) carrying the preview's change tag.
std::vector<std::size_t> tagged_lines(GtkWidget* w)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(lookup_widget(w, "txtConfig")));
    GtkTextTag* tag = gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer),
                                                cvx::windows::kPreviewChangeTag);
    std::vector<std::size_t> out;
    if (!tag)
        return out;
    for (gint line = 0; line < gtk_text_buffer_get_line_count(buffer); ++line) {
        GtkTextIter at, last;
        gtk_text_buffer_get_iter_at_line(buffer, &at, line);
        // A line is marked whole, its line break included, or not at all.
        last = at;
        if (!gtk_text_iter_ends_line(&last))
            gtk_text_iter_forward_to_line_end(&last);
        const bool tagged = gtk_text_iter_has_tag(&at, tag);
        if (!gtk_text_iter_is_end(&last)) {
            EXPECT_EQ(gtk_text_iter_has_tag(&last, tag), tagged) << "line " << line << " is marked in part";
        }
        if (tagged)
            out.push_back(static_cast<std::size_t>(line));
    }
    return out;
}

// The new-side lines (0-based) the unified diff marks with "+".
std::vector<std::size_t> added_in_diff(const std::string& diff)
{
    std::vector<std::size_t> out;
    std::istringstream in(diff);
    std::string line;
    std::size_t next = 0;
    while (std::getline(in, line)) {
        if (line.rfind("@@ -", 0) == 0) {
            const std::size_t plus = line.find(" +");
            next = std::stoul(line.substr(plus + 2));
            next = next ? next - 1 : 0;
        } else if (line.rfind("+++", 0) == 0 || line.rfind("---", 0) == 0 || line.rfind("\\", 0) == 0) {
        } else if (!line.empty() && line[0] == '+') {
            out.push_back(next++);
        } else if (!line.empty() && line[0] == ' ') {
            ++next;
        }
    }
    return out;
}

class InfoWindow : public DialogTest {};
class PreviewWindow : public DialogTest {};

}  // namespace

TEST_F(InfoWindow, VersionAndStartingTexts)
{
    GtkWidget* w = create_winInfo();
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w)), "Corvex Twinscape - Information");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(w)));
    EXPECT_EQ(label_text(w, "lblHAL"), "Corvex HAL library : --");
    EXPECT_EQ(label_text(w, "lblXinerama"), "Xinerama: --");
    gtk_widget_destroy(w);

    w = open_info();
    EXPECT_EQ(wdgWinInfo, w);
    EXPECT_EQ(label_text(w, "lblVersion"), "Corvex Twinscape (Linux) version: 1.00.5");
    // No driver channel and no merged framebuffer: the HAL line stays as built.
    EXPECT_EQ(label_text(w, "lblHAL"), "Corvex HAL library : --");
    EXPECT_EQ(label_text(w, "lblBiosVersion"), "Graphics BIOS version: Unknown");   // no board found
    gtk_button_clicked(GTK_BUTTON(lookup_widget(w, "buttonInfoOk")));
    cvx::test::pump_events();
    EXPECT_EQ(wdgWinInfo, nullptr);
}

TEST_F(InfoWindow, HalLineRules)
{
    struct Case {
        unsigned char driver, hal, merged;
        const char* text;
    };
    const Case cases[] = {
        {1, 1, 0, "Corvex HAL library: Installed"},
        {1, 0, 0, "Corvex HAL library: Not installed"},
        {0, 0, 1, "Corvex HAL library: Installed"},   // merged without the driver channel
        {1, 0, 1, "Corvex HAL library: Installed"},
        {0, 1, 0, "Corvex HAL library : --"},
    };
    for (const Case& c : cases) {
        bDriverModed = c.driver;
        bHalLoaded = c.hal;
        bInMergedMode = c.merged;
        GtkWidget* w = open_info();
        EXPECT_EQ(label_text(w, "lblHAL"), c.text) << int(c.driver) << int(c.hal) << int(c.merged);
        gtk_window_close(GTK_WINDOW(w));   // the close box destroys it too
        cvx::test::pump_events();
        EXPECT_EQ(wdgWinInfo, nullptr);
    }
}

TEST_F(InfoWindow, BiosVersionIsReadAtEveryOpening)
{
    use_tv_board();
    {
        BoardEnv board(board_file("corvex-0525-r80.board"));
        GtkWidget* w = open_info();
        EXPECT_EQ(label_text(w, "lblBiosVersion"), "Graphics BIOS version: 4.2 - 7");
        shoot("info_window");
        gtk_widget_destroy(w);
    }
    {
        BoardEnv board(board_file("corvex-0525-r7f.board"));
        GtkWidget* w = open_info();
        EXPECT_EQ(label_text(w, "lblBiosVersion"), "Graphics BIOS version: 3.1 - 0");
        gtk_widget_destroy(w);
    }
    {
        // A board whose ROM gives no version.
        BoardEnv board(board_file("corvex-2527.board"));
        GtkWidget* w = open_info();
        EXPECT_EQ(label_text(w, "lblBiosVersion"), "Graphics BIOS version: Not available");
        gtk_widget_destroy(w);
    }
}

TEST_F(InfoWindow, XineramaStateOfTheRunningServer)
{
    GtkWidget* w = nullptr;
    Display* saved = pDisp;
    for (const char* layout : {"xinerama", "two"}) {
        cvx::test::XServerOptions options;
        options.layout = layout;
        cvx::test::XServer other(options);
        pDisp = XOpenDisplay(other.display().c_str());
        ASSERT_NE(pDisp, nullptr);
        w = open_info();
        EXPECT_EQ(label_text(w, "lblXinerama"),
                  std::string(layout) == "xinerama" ? "Xinerama: Enabled" : "Xinerama: Disabled");
        gtk_widget_destroy(w);
        XCloseDisplay(pDisp);
        pDisp = saved;
    }
}

TEST_F(PreviewWindow, ShowsExactlyWhatSavingWritesInEveryMode)
{
    const std::string long_comment = "# " + std::string(700, 'c') + "\n";
    struct Mode {
        const char* name;
        void (*apply)();
    };
    const Mode modes[] = {
        {"single", [] {}},
        {"pairview", [] { confEnablePairView(pXF86Config, CONF_ADJ_RIGHTOF); }},
        {"clone", [] { confEnableClone(pXF86Config); }},
        {"merged", [] { confEnableMergedFB(pXF86Config, CONF_ADJ_BELOW); }},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        load_tree(long_comment + base_config());
        m.apply();
        GtkWidget* w = open_preview();
        EXPECT_EQ(wdgWinPreview, w);
        const std::string shown = preview_text(w);
        EXPECT_EQ(shown, saved_text());
        EXPECT_NE(shown.find(long_comment), std::string::npos);   // a line of 700 characters, whole
        if (std::string(m.name) == "merged") {
            EXPECT_NE(shown.find("MetaModes"), std::string::npos);
        }
        EXPECT_TRUE(temp_dir_entries().empty());
        if (std::string(m.name) == "merged")
            shoot("preview_window_merged");
        gtk_widget_destroy(w);
        cvx::test::pump_events();
        EXPECT_EQ(wdgWinPreview, nullptr);
    }
}

TEST_F(PreviewWindow, RefreshFollowsTheTreeAndBindsTheScrollbar)
{
    load_tree(base_config());
    GtkWidget* w = create_winPreview();
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w)), "Corvex Twinscape - Configuration File");
    EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(w)));
    EXPECT_EQ(preview_text(w), cvx::windows::kPreviewInitialText);
    wdgWinPreview = w;
    gtk_widget_show(w);
    cvx::test::pump_events();
    GtkWidget* text = lookup_widget(w, "txtConfig");
    GtkWidget* bar = lookup_widget(w, "scrollConfig");
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(text)));
    EXPECT_EQ(gtk_range_get_adjustment(GTK_RANGE(bar)), gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(text)));
    GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(bar));
    EXPECT_GT(gtk_adjustment_get_upper(adj), gtk_adjustment_get_page_size(adj));   // the file is longer than the view

    confSetDefaultDepth(pXF86Config, 0, 8);
    EXPECT_EQ(preview_text(w).find("DefaultDepth 8"), std::string::npos);   // not refreshed by itself
    fillConfigPreview(text, bar);
    EXPECT_EQ(preview_text(w), saved_text());
    EXPECT_NE(preview_text(w).find("DefaultDepth 8"), std::string::npos);
    EXPECT_TRUE(temp_dir_entries().empty());

    // Bytes that are not UTF-8 (an old Latin-1 comment) do not empty the preview.
    load_tree("# caf\xe9\n" + base_config());
    fillConfigPreview(text, bar);
    EXPECT_NE(preview_text(w).find("CORVEX CARD 1"), std::string::npos);
}

TEST_F(PreviewWindow, PlantedLinkAtTheOldTemporaryNameIsNeverFollowed)
{
    load_tree(base_config());
    const std::string victim = root().file("victim");
    { std::ofstream(victim) << "precious\n"; }
    const std::string planted = cvx::paths::temp_dir() + "/.cvxTempForXF86ConfFile";
    ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
    GtkWidget* w = open_preview();
    EXPECT_EQ(preview_text(w), saved_text());
    std::ifstream in(victim);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "precious\n");
    EXPECT_TRUE(fs::is_symlink(planted));   // not ours to remove either
    EXPECT_EQ(temp_dir_entries(), std::vector<std::string>{".cvxTempForXF86ConfFile"});
    fs::remove(planted);
}

TEST_F(PreviewWindow, ClosingResetsTheMainWindowsButton)
{
    load_tree(base_config());
    // A stand-in for the main window: only its preview button is looked up.
    GtkWidget* central = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* button = gtk_button_new_with_label("Refresh Preview");
    gtk_container_add(GTK_CONTAINER(central), button);
    g_object_set_data(G_OBJECT(central), "buttonCentralPreview", button);
    wdgWinCentral = central;

    for (bool close_box : {true, false}) {
        gtk_button_set_label(GTK_BUTTON(button), "Refresh Preview");
        GtkWidget* w = open_preview();
        if (close_box)
            gtk_window_close(GTK_WINDOW(w));
        else
            click_widget(lookup_widget(w, "buttonPreviewClose"));
        ASSERT_TRUE(cvx::test::wait_until([] { return wdgWinPreview == nullptr; }));
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(button)), "Preview Config. File");
    }
    wdgWinCentral = nullptr;
    gtk_widget_destroy(central);
}

TEST_F(PreviewWindow, HighlightsExactlyTheLinesTheDiffAddsOrChanges)
{
    const std::string file = root().file("etc/X11/xorg.conf");
    fs::create_directories(fs::path(file).parent_path());
    std::snprintf(sConfigFile, sizeof sConfigFile, "%s", file.c_str());

    // The file as a save would leave it: nothing to highlight.
    load_tree(base_config());
    const std::string unchanged = saved_text();
    { std::ofstream(file, std::ios::binary) << unchanged; }
    load_tree(unchanged);
    GtkWidget* w = open_preview();
    ASSERT_EQ(preview_text(w), unchanged);
    EXPECT_TRUE(tagged_lines(w).empty());

    // Changes at the top, in the middle and appended sections at the end.
    confSetDefaultDepth(pXF86Config, 0, 8);
    confEnablePairView(pXF86Config, CONF_ADJ_ABOVE);
    confEnableXinerama(pXF86Config);
    fillConfigPreview(lookup_widget(w, "txtConfig"), lookup_widget(w, "scrollConfig"));
    const std::string after = saved_text();
    ASSERT_EQ(preview_text(w), after);
    const std::vector<std::size_t> expected =
        added_in_diff(cvx::config::unified_diff(unchanged, after, "xorg.conf", "xorg.conf (new)"));
    EXPECT_GE(expected.size(), 3u);
    EXPECT_EQ(tagged_lines(w), expected);
    shoot("preview_window_changes");

    // A file that is gone: every line is new.
    fs::remove(file);
    fillConfigPreview(lookup_widget(w, "txtConfig"), lookup_widget(w, "scrollConfig"));
    EXPECT_EQ(tagged_lines(w).size(), static_cast<std::size_t>(std::count(after.begin(), after.end(), '\n')));
    sConfigFile[0] = '\0';
}
