// The display modes dialog against a real X server: what it shows for a
// display, what OK writes into the tree, and that Cancel writes nothing.
#include "fixture.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "config/config.h"
#include "core/globals.h"
#include "windows/window_state.h"
#include "shell/support.h"
#include "windows/win_resolutions.h"
#include "windows/windows.h"

using namespace cvx::test::dialogs;

namespace {

const std::vector<std::string> kStandard = {"640x480", "800x600", "1024x768", "1152x864", "1280x1024", "1600x1200"};

GtkWidget* open_dialog(int display)
{
    CurrentScreen = display;
    GtkWidget* w = create_winResolutions();
    wdgWinResolutions = w;
    set_window_back(w, lookup_widget(w, "fixed6"));
    gtk_widget_show(w);
    cvx::test::pump_events();
    return w;
}

GtkWidget* list_of(GtkWidget* w) { return lookup_widget(w, "listResolutions"); }

std::vector<GtkWidget*> rows(GtkWidget* w)
{
    std::vector<GtkWidget*> out;
    GList* children = gtk_container_get_children(GTK_CONTAINER(list_of(w)));
    for (GList* it = children; it; it = it->next)
        out.push_back(GTK_WIDGET(it->data));
    g_list_free(children);
    return out;
}

std::string name_of(GtkWidget* row)
{
    return static_cast<const char*>(g_object_get_data(G_OBJECT(row), CVX_RESOLUTION_NAME_KEY));
}

std::vector<std::string> entries(GtkWidget* w)
{
    std::vector<std::string> out;
    for (GtkWidget* r : rows(w))
        out.push_back(name_of(r));
    return out;
}

std::vector<std::string> selected(GtkWidget* w)
{
    std::vector<std::string> out;
    for (GtkWidget* r : rows(w)) {
        // What the list shows is what OK will collect.
        EXPECT_EQ(gtk_list_box_row_is_selected(GTK_LIST_BOX_ROW(r)), cvx::windows::resolution_entry_chosen(r))
            << name_of(r);
        if (cvx::windows::resolution_entry_chosen(r))
            out.push_back(name_of(r));
    }
    return out;
}

GtkWidget* row_named(GtkWidget* w, const std::string& name, int nth = 0)
{
    for (GtkWidget* r : rows(w))
        if (name_of(r) == name && nth-- == 0)
            return r;
    ADD_FAILURE() << "no entry " << name;
    return nullptr;
}

void toggle(GtkWidget* w, const std::string& name, int nth = 0)
{
    if (GtkWidget* r = row_named(w, name, nth))
        cvx::windows::toggle_resolution_entry(list_of(w), r);
}

void set_active(GtkWidget* w, const char* name)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(lookup_widget(w, name)), TRUE);
}

void press_ok(GtkWidget* w)
{
    gtk_button_clicked(GTK_BUTTON(lookup_widget(w, "buttonOkResolution")));
    cvx::test::pump_events();
}

XF86ConfScreenPtr screen(int display) { return FindScreen(pXF86Config, display); }

// The Modes of the Display subsection with exactly this Depth line.
std::vector<std::string> modes_at(int display, int depth)
{
    for (const XF86ConfDisplayRec& d : screen(display)->displays)
        if (d.depth == depth)
            return d.modes;
    return {"<no subsection>"};
}

std::string option(XF86ConfDevicePtr device, const char* name)
{
    const char* v = xf86findOptionValue(device->options, name);
    return v ? v : "<absent>";
}

std::string modelines(int count, const std::string& prefix = "m")
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "  ModeLine \"" + prefix + std::to_string(i) +
             "\" 65.0 1024 1048 1184 1344 768 771 777 806 -hsync -vsync\n";
    return s;
}

class ResolutionsDialog : public DialogTest {};

}  // namespace

TEST_F(ResolutionsDialog, ConstructionStateBeforeShow)
{
    GtkWidget* w = create_winResolutions();
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w)), "Corvex Twinscape - Display Modes");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(w)));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(w)));
    EXPECT_TRUE(is_sensitive(w, "buttonOkResolution"));
    EXPECT_TRUE(entries(w).empty());
    for (const char* on : {"radio16bpp", "radioNormal", "radioYCComposite", "radioBig2Small"})
        EXPECT_TRUE(is_active(w, on)) << on;
    for (const char* off : {"radio8bpp", "radio24bpp", "radio32bpp", "radioDigital", "radioPAL", "radioNTSC",
                            "radioSCARTRgb", "radioSCARTType2", "radioSCARTComposite", "radioSmall2Big"})
        EXPECT_FALSE(is_active(w, off)) << off;
    for (const char* cable : {"radioYCComposite", "radioSCARTComposite", "radioSCARTRgb", "radioSCARTType2"})
        EXPECT_TRUE(is_sensitive(w, cable)) << cable;
    // Found although they are not children of the fixed container.
    EXPECT_NE(lookup_widget(w, "viewport1"), nullptr);
    EXPECT_NE(lookup_widget(w, "listResolutions"), nullptr);
    EXPECT_EQ(gtk_widget_get_parent(list_of(w)), lookup_widget(w, "viewport1"));
    EXPECT_EQ(gtk_list_box_get_selection_mode(GTK_LIST_BOX(list_of(w))), GTK_SELECTION_MULTIPLE);
    // The four groups are separate: one depth, one output, one cable, one order.
    set_active(w, "radio8bpp");
    set_active(w, "radioPAL");
    EXPECT_TRUE(is_active(w, "radioYCComposite"));
    EXPECT_TRUE(is_active(w, "radioBig2Small"));
    EXPECT_FALSE(is_active(w, "radio16bpp"));
    EXPECT_FALSE(is_active(w, "radioNormal"));
    gtk_widget_destroy(w);
}

TEST_F(ResolutionsDialog, ShowsTheDisplaysSettingsAndLooksRight)
{
    use_tv_board();
    load_tree(base_config("  Option \"TV\" \"yes\"\n  Option \"TVStandard\" \"PAL\"\n  Option \"CableType\" \"SCART_RGB\"\n"));
    GtkWidget* w = open_dialog(0);
    EXPECT_EQ(wdgWinResolutions, w);
    EXPECT_EQ(entries(w), kStandard);
    EXPECT_EQ(selected(w), (std::vector<std::string>{"800x600", "1024x768"}));
    EXPECT_EQ(nbElementSelected, 2);
    EXPECT_TRUE(is_sensitive(w, "buttonOkResolution"));
    EXPECT_TRUE(is_active(w, "radio24bpp"));
    EXPECT_TRUE(is_active(w, "radioPAL"));
    EXPECT_TRUE(is_active(w, "radioSCARTRgb"));
    for (const char* name : {"radioYCComposite", "radioSCARTComposite", "radioSCARTRgb", "radioSCARTType2",
                             "radioNormal", "radioDigital", "radioNTSC", "radioPAL"})
        EXPECT_TRUE(is_sensitive(w, name)) << name;
    shoot("resolutions_tv_board_pal");

    // Choosing an analog output makes the cable buttons insensitive, TV again sensitive.
    set_active(w, "radioNormal");
    EXPECT_FALSE(is_sensitive(w, "radioSCARTRgb"));
    set_active(w, "radioNTSC");
    EXPECT_TRUE(is_sensitive(w, "radioSCARTRgb"));
    set_active(w, "radioDigital");
    EXPECT_FALSE(is_sensitive(w, "radioYCComposite"));
}

TEST_F(ResolutionsDialog, SecondDisplayAndMissingSettings)
{
    use_tv_board();
    load_tree(base_config("", "", "  Screen \"Display 1\"\n  Screen \"Display 2\" RightOf \"Display 1\"\n"));
    GtkWidget* w = open_dialog(1);
    EXPECT_EQ(selected(w), std::vector<std::string>{"640x480"});
    EXPECT_TRUE(is_active(w, "radio16bpp"));
    EXPECT_TRUE(is_active(w, "radioNormal"));
    EXPECT_FALSE(is_sensitive(w, "radioYCComposite"));
    EXPECT_TRUE(is_sensitive(w, "radioNTSC"));
    gtk_widget_destroy(w);

    // No Screen section for the display: nothing pre-selected, OK insensitive, 16-bit, analog.
    load_tree(base_config());
    FindScreen(pXF86Config, 1)->identifier = "Elsewhere";
    w = open_dialog(1);
    EXPECT_EQ(entries(w), kStandard);
    EXPECT_TRUE(selected(w).empty());
    EXPECT_EQ(nbElementSelected, 0);
    EXPECT_FALSE(is_sensitive(w, "buttonOkResolution"));
    EXPECT_TRUE(is_active(w, "radio16bpp"));
    EXPECT_TRUE(is_active(w, "radioNormal"));
}

TEST_F(ResolutionsDialog, ModeLineNamesDuplicatesCutAndLimit)
{
    use_tv_board();
    const std::string long_name(50, 'L');
    load_tree(base_config("", "  ModeLine \"1024x768\" 65.0 1024 1048 1184 1344 768 771 777 806\n"
                              "  ModeLine \"" + long_name + "\" 65.0 1024 1048 1184 1344 768 771 777 806\n"));
    screen(0)->displays[0].modes.push_back(long_name);
    GtkWidget* w = open_dialog(0);
    std::vector<std::string> expected = kStandard;
    expected.push_back("1024x768");
    expected.push_back(long_name.substr(0, 49));
    EXPECT_EQ(entries(w), expected);
    // Both "1024x768" entries match the Modes line; the cut name does not.
    EXPECT_EQ(selected(w), (std::vector<std::string>{"800x600", "1024x768", "1024x768"}));
    EXPECT_EQ(nbElementSelected, 3);

    // The cut name is what OK writes.
    toggle(w, long_name.substr(0, 49));
    toggle(w, "1024x768", 1);
    toggle(w, "800x600");
    EXPECT_EQ(nbElementSelected, 2);
    press_ok(w);
    EXPECT_EQ(modes_at(0, 24), (std::vector<std::string>{"1024x768", long_name.substr(0, 49)}));
    EXPECT_EQ(wdgWinResolutions, nullptr);

    // 195 mode lines: the list stops at 200 entries.
    load_tree(base_config("", modelines(195)));
    w = open_dialog(0);
    const std::vector<std::string> all = entries(w);
    ASSERT_EQ(all.size(), 200u);
    EXPECT_EQ(all[6], "m0");
    EXPECT_EQ(all.back(), "m193");
}

TEST_F(ResolutionsDialog, NameConfiguredTwiceCountsOneEntry)
{
    load_tree(base_config());
    screen(0)->displays[0].modes = {"800x600", "800x600"};
    GtkWidget* w = open_dialog(0);
    EXPECT_EQ(selected(w), std::vector<std::string>{"800x600"});
    EXPECT_EQ(nbElementSelected, 1);
    // Unselecting the only selected entry must leave nothing for OK to apply.
    toggle(w, "800x600");
    EXPECT_EQ(nbElementSelected, 0);
    EXPECT_FALSE(is_sensitive(w, "buttonOkResolution"));
}

TEST_F(ResolutionsDialog, OkSensitiveExactlyWhileSomethingIsSelected)
{
    load_tree(base_config());
    GtkWidget* w = open_dialog(0);
    ASSERT_EQ(nbElementSelected, 2);
    toggle(w, "800x600");
    EXPECT_TRUE(is_sensitive(w, "buttonOkResolution"));
    toggle(w, "1024x768");
    EXPECT_EQ(nbElementSelected, 0);
    EXPECT_FALSE(is_sensitive(w, "buttonOkResolution"));
    toggle(w, "1600x1200");
    EXPECT_TRUE(is_sensitive(w, "buttonOkResolution"));
    toggle(w, "640x480");
    toggle(w, "1600x1200");
    EXPECT_EQ(nbElementSelected, 1);
    EXPECT_TRUE(is_sensitive(w, "buttonOkResolution"));
    EXPECT_EQ(selected(w), std::vector<std::string>{"640x480"});
}

TEST_F(ResolutionsDialog, OkSortsInTheChosenOrderForEveryDepth)
{
    const std::string extra = "  ModeLine \"1024x768@75Hz:0\" 78.75 1024 1040 1136 1312 768 769 772 800\n"
                              "  ModeLine \"Custom\" 65.0 1024 1048 1184 1344 768 771 777 806\n";
    for (bool ascending : {false, true}) {
        SCOPED_TRACE(ascending ? "smaller to larger" : "larger to smaller");
        load_tree(base_config("", extra));
        GtkWidget* w = open_dialog(0);
        toggle(w, "1024x768");   // pre-selected: now off
        for (const char* name : {"Custom", "1600x1200", "1024x768@75Hz:0", "640x480"})
            toggle(w, name);
        if (ascending)
            set_active(w, "radioSmall2Big");
        press_ok(w);
        std::vector<std::string> expected = {"1600x1200", "1024x768@75Hz:0", "800x600", "640x480", "Custom"};
        if (ascending)
            std::reverse(expected.begin(), expected.end());
        for (int depth : {8, 16, 24})
            EXPECT_EQ(modes_at(0, depth), expected) << "depth " << depth;
        EXPECT_EQ(screen(0)->displays.size(), 3u);
        // The other display is untouched.
        EXPECT_EQ(modes_at(1, 16), std::vector<std::string>{"640x480"});
    }
}

TEST_F(ResolutionsDialog, DepthChoices)
{
    load_tree(base_config());
    GtkWidget* w = open_dialog(0);
    set_active(w, "radio32bpp");
    press_ok(w);
    EXPECT_EQ(screen(0)->defaultdepth, 24);
    EXPECT_EQ(screen(0)->defaultfbbpp, 32);
    EXPECT_NE(tree_text().find("DefaultFbBPP 32"), std::string::npos);
    EXPECT_EQ(modes_at(0, 24), (std::vector<std::string>{"1024x768", "800x600"}));
    EXPECT_EQ(screen(1)->defaultdepth, 16);   // single head: display 2 keeps its depth

    // Reopened, 32-bit is shown; 8-bit then drops the frame-buffer depth.
    w = open_dialog(0);
    EXPECT_TRUE(is_active(w, "radio32bpp"));
    set_active(w, "radio8bpp");
    press_ok(w);
    EXPECT_EQ(screen(0)->defaultdepth, 8);
    EXPECT_EQ(screen(0)->defaultfbbpp, 0);
    EXPECT_EQ(tree_text().find("DefaultFbBPP"), std::string::npos);
}

TEST_F(ResolutionsDialog, PairViewAndCloneShareTheDepth)
{
    for (const char* layout : {"  Screen \"Display 1\"\n  Screen \"Display 2\" RightOf \"Display 1\"\n",
                               "  Screen \"Display 1\"\n  Screen \"Display 2\"\n"}) {
        SCOPED_TRACE(layout);
        load_tree(base_config("", "", layout));
        ASSERT_TRUE(confPairViewIsActive(pXF86Config) || confCloneIsActive(pXF86Config));
        GtkWidget* w = open_dialog(1);
        set_active(w, "radio24bpp");
        press_ok(w);
        EXPECT_EQ(screen(0)->defaultdepth, 24);
        EXPECT_EQ(screen(1)->defaultdepth, 24);
        EXPECT_EQ(modes_at(0, 24), (std::vector<std::string>{"1024x768", "800x600"}));   // only the depth
        EXPECT_EQ(modes_at(1, 24), std::vector<std::string>{"640x480"});
    }
}

TEST_F(ResolutionsDialog, OutputTypesWrittenToTheDevice)
{
    use_tv_board();
    struct Case {
        const char* output;
        const char* cable;
        const char* tv, *standard, *cabletype, *digital;
    };
    const Case cases[] = {
        {"radioNTSC", "radioSCARTComposite", "yes", "NTSC", "SCART_COMPOSITE", "<absent>"},
        {"radioPAL", "radioSCARTType2", "yes", "PAL", "SCART_TYPE2", "<absent>"},
        {"radioPAL", "radioYCComposite", "yes", "PAL", "YC_COMPOSITE", "<absent>"},
        {"radioDigital", "radioSCARTRgb", "no", "PAL", "YC_COMPOSITE", "yes"},   // TV options stay
        {"radioNormal", nullptr, "no", "PAL", "YC_COMPOSITE", "no"},
    };
    load_tree(base_config());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        GtkWidget* w = open_dialog(0);
        set_active(w, c.output);
        if (c.cable)
            set_active(w, c.cable);
        press_ok(w);
        XF86ConfDevicePtr device = FindScreen(pXF86Config, 0)->device;
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(option(device, "TV"), c.tv);
        EXPECT_EQ(option(device, "TVStandard"), c.standard);
        EXPECT_EQ(option(device, "CableType"), c.cabletype);
        EXPECT_EQ(option(device, "DigitalScreen"), c.digital);
        // Shown again as written.
        w = open_dialog(0);
        EXPECT_TRUE(is_active(w, c.output));
        gtk_widget_destroy(w);
    }
    EXPECT_EQ(option(FindScreen(pXF86Config, 1)->device, "TV"), "<absent>");
}

TEST_F(ResolutionsDialog, StoredValuesAreComparedExactly)
{
    use_tv_board();
    load_tree(base_config("  Option \"TV\" \"yes\"\n  Option \"TVStandard\" \"pal\"\n  Option \"CableType\" \"scart_rgb\"\n"));
    GtkWidget* w = open_dialog(0);
    EXPECT_TRUE(is_active(w, "radioNTSC"));
    EXPECT_TRUE(is_active(w, "radioYCComposite"));
    gtk_widget_destroy(w);

    load_tree(base_config("  Option \"TV\" \"Yes\"\n  Option \"DigitalScreen\" \"yes\"\n"));
    w = open_dialog(0);
    EXPECT_TRUE(is_active(w, "radioDigital"));
    EXPECT_FALSE(is_sensitive(w, "radioSCARTRgb"));
}

TEST_F(ResolutionsDialog, BoardWithoutTvOutputForcesAnalog)
{
    for (auto board : {+[] { use_plain_board(); }, +[] { device_info[1] = 0x0525; device_info[2] = 0x80; }}) {
        board();
        load_tree(base_config("  Option \"TV\" \"yes\"\n  Option \"DigitalScreen\" \"yes\"\n"));
        GtkWidget* w = open_dialog(0);
        EXPECT_TRUE(is_active(w, "radioNormal"));
        for (const char* name : {"radioNormal", "radioDigital", "radioNTSC", "radioPAL", "radioYCComposite",
                                 "radioSCARTComposite", "radioSCARTRgb", "radioSCARTType2"})
            EXPECT_FALSE(is_sensitive(w, name)) << name;
        if (device_info[2] == 0x80)
            shoot("resolutions_board_without_tv");
        press_ok(w);
        XF86ConfDevicePtr device = FindScreen(pXF86Config, 0)->device;
        EXPECT_EQ(option(device, "TV"), "no");
        EXPECT_EQ(option(device, "DigitalScreen"), "no");
    }
}

TEST_F(ResolutionsDialog, CancelAndCloseLeaveTheTreeUnchanged)
{
    use_tv_board();
    load_tree(base_config("  Option \"TV\" \"yes\"\n"));
    const std::string before = tree_text();
    for (bool close_box : {false, true}) {
        GtkWidget* w = open_dialog(0);
        toggle(w, "800x600");
        toggle(w, "1600x1200");
        set_active(w, "radio8bpp");
        set_active(w, "radioDigital");
        set_active(w, "radioSmall2Big");
        if (close_box)
            gtk_window_close(GTK_WINDOW(w));
        else
            gtk_button_clicked(GTK_BUTTON(lookup_widget(w, "buttonCancelResolution")));
        cvx::test::pump_events();
        EXPECT_EQ(wdgWinResolutions, nullptr);
        EXPECT_EQ(tree_text(), before);
    }
}

TEST_F(ResolutionsDialog, RealClicksToggleAndKeysMoveWithoutSelecting)
{
    load_tree(base_config());
    GtkWidget* w = open_dialog(0);
    cvx::test::wait_until([&] { return gtk_widget_get_mapped(w); });
    gtk_window_present(GTK_WINDOW(w));
    // Neither focus arriving by Tab nor the list's own select-all binding
    // changes the selection.
    ASSERT_TRUE(gtk_widget_child_focus(list_of(w), GTK_DIR_TAB_FORWARD));
    cvx::test::pump_events();
    EXPECT_EQ(selected(w), (std::vector<std::string>{"800x600", "1024x768"}));
    g_signal_emit_by_name(list_of(w), "select-all");
    cvx::test::pump_events();
    EXPECT_EQ(selected(w), (std::vector<std::string>{"800x600", "1024x768"}));
    EXPECT_EQ(nbElementSelected, 2);
    // A click toggles only the entry under the pointer.
    click_widget(row_named(w, "640x480"));
    EXPECT_EQ(selected(w), (std::vector<std::string>{"640x480", "800x600", "1024x768"}));
    click_widget(row_named(w, "800x600"));
    EXPECT_EQ(selected(w), (std::vector<std::string>{"640x480", "1024x768"}));
    EXPECT_EQ(nbElementSelected, 2);
    // The keyboard: Down moves to 800x600 without selecting, Space toggles it.
    ASSERT_TRUE(cvx::test::wait_until([&] { return gtk_widget_has_focus(row_named(w, "800x600")); }));
    // Down twice reaches 1152x864 (Space selects it), Up three times 640x480 (Space unselects it).
    press_keys("Down Down space Up Up Up space");
    EXPECT_EQ(selected(w), (std::vector<std::string>{"1024x768", "1152x864"}));
    EXPECT_EQ(nbElementSelected, 2);
    press_keys("End space");
    EXPECT_EQ(selected(w), (std::vector<std::string>{"1024x768", "1152x864", "1600x1200"}));
    shoot("resolutions_after_clicks");
    click_widget(lookup_widget(w, "buttonOkResolution"));
    ASSERT_TRUE(cvx::test::wait_until([] { return wdgWinResolutions == nullptr; }));
    EXPECT_EQ(modes_at(0, 24), (std::vector<std::string>{"1600x1200", "1152x864", "1024x768"}));
}

TEST(ResolutionSortKey, FirstNumberBeforeAnX)
{
    EXPECT_EQ(cvx::windows::resolution_sort_key("1024x768"), 1024);
    EXPECT_EQ(cvx::windows::resolution_sort_key("1024x768@75Hz:0"), 1024);
    EXPECT_EQ(cvx::windows::resolution_sort_key("xx800x600"), 800);
    EXPECT_EQ(cvx::windows::resolution_sort_key("Custom"), 0);
    EXPECT_EQ(cvx::windows::resolution_sort_key("x"), 0);
    EXPECT_EQ(cvx::windows::resolution_sort_key(""), 0);
    EXPECT_EQ(cvx::windows::resolution_sort_key("640abc"), 640);
    EXPECT_GT(cvx::windows::resolution_sort_key(std::string(40, '9')), 0);   // saturates, no overflow
    const std::string a = "1280x1024", b = "800x600";
    EXPECT_GT(compareResolutionsSmall2Big(&a, &b), 0);
    EXPECT_LT(compareResolutionsBig2Small(&a, &b), 0);
    EXPECT_EQ(compareResolutionsSmall2Big(&a, &a), 0);
}
