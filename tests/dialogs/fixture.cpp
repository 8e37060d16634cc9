#include "fixture.h"

#include <cstdlib>
#include <stdexcept>

#include <gtk/gtk.h>
#include "config/config.h"

#include <gdk/gdkx.h>

#include "core/globals.h"
#include "windows/window_state.h"
#include "core/paths.h"
#include "shell/support.h"

namespace cvx::test::dialogs {

namespace {

std::unique_ptr<cvx::test::TempRoot> g_root;
std::unique_ptr<cvx::test::XServer> g_server;

class Environment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_root = std::make_unique<cvx::test::TempRoot>();
        cvx::test::XServerOptions options;
        options.window_manager = true;
        g_server = std::make_unique<cvx::test::XServer>(options);
        int argc = 0;
        char** argv = nullptr;
        if (!gtk_init_check(&argc, &argv))
            throw std::runtime_error("the toolkit cannot open " + g_server->display());
        pDisp = gdk_x11_display_get_xdisplay(gdk_display_get_default());
        for (const std::string& dir : cvx::paths::pixmap_dirs())
            add_pixmap_directory(dir.c_str());
        add_pixmap_directory((cvx::test::source_dir() + "/pixmaps").c_str());
    }
    void TearDown() override
    {
        free_tree();
        pDisp = nullptr;
        g_server.reset();
        g_root.reset();
    }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new Environment);

int run(const std::string& command)
{
    return std::system(command.c_str());
}

}  // namespace

cvx::test::XServer& server() { return *g_server; }
cvx::test::TempRoot& root() { return *g_root; }

void free_tree()
{
    if (pXF86Config)
        xf86freeConfig(pXF86Config);
    pXF86Config = nullptr;
}

void load_tree(const std::string& text)
{
    free_tree();
    pXF86Config = xf86parseConfigText(text, "test.conf");
    ASSERT_NE(pXF86Config, nullptr) << text;
}

std::string tree_text()
{
    return pXF86Config ? xf86writeConfigText(pXF86Config) : std::string();
}

void use_tv_board()
{
    device_info[1] = 0x0525;
    device_info[2] = 0x01;
}

void use_plain_board()
{
    device_info[1] = 0x0521;
    device_info[2] = 0x01;
}

std::string base_config(const std::string& device1_options, const std::string& monitor1_extra,
                        const std::string& layout_screens)
{
    return "Section \"Device\"\n"
           "  Identifier \"CORVEX CARD 1\"\n"
           "  Driver \"cvx\"\n" +
           device1_options +
           "EndSection\n"
           "Section \"Device\"\n"
           "  Identifier \"CORVEX CARD 2\"\n"
           "  Driver \"cvx\"\n"
           "EndSection\n"
           "Section \"Monitor\"\n"
           "  Identifier \"Display 1\"\n"
           "  HorizSync 30-70\n"
           "  VertRefresh 50-75\n" +
           monitor1_extra +
           "EndSection\n"
           "Section \"Monitor\"\n"
           "  Identifier \"Display 2\"\n"
           "  HorizSync 30-70\n"
           "  VertRefresh 50-75\n"
           "EndSection\n"
           "Section \"Screen\"\n"
           "  Identifier \"Display 1\"\n"
           "  Device \"CORVEX CARD 1\"\n"
           "  Monitor \"Display 1\"\n"
           "  DefaultDepth 24\n"
           "  SubSection \"Display\"\n"
           "    Depth 24\n"
           "    Modes \"1024x768\" \"800x600\"\n"
           "  EndSubSection\n"
           "EndSection\n"
           "Section \"Screen\"\n"
           "  Identifier \"Display 2\"\n"
           "  Device \"CORVEX CARD 2\"\n"
           "  Monitor \"Display 2\"\n"
           "  DefaultDepth 16\n"
           "  SubSection \"Display\"\n"
           "    Depth 16\n"
           "    Modes \"640x480\"\n"
           "  EndSubSection\n"
           "EndSection\n"
           "Section \"ServerLayout\"\n"
           "  Identifier \"Corvex Twinscape configured.\"\n" +
           layout_screens + "EndSection\n";
}

std::string label_text(GtkWidget* window, const char* name)
{
    GtkWidget* w = lookup_widget(window, name);
    if (!w)
        return "<missing " + std::string(name) + ">";
    if (GTK_IS_BUTTON(w))
        return gtk_button_get_label(GTK_BUTTON(w)) ? gtk_button_get_label(GTK_BUTTON(w)) : "";
    return gtk_label_get_text(GTK_LABEL(w));
}

bool is_active(GtkWidget* window, const char* name)
{
    GtkWidget* w = lookup_widget(window, name);
    return w && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
}

bool is_sensitive(GtkWidget* window, const char* name)
{
    GtkWidget* w = lookup_widget(window, name);
    return w && gtk_widget_is_sensitive(w);
}

void shoot(const std::string& name)
{
    cvx::test::pump_events();
    cvx::test::screenshot(server().display(), name);
}

void click_widget(GtkWidget* widget, int dx, int dy)
{
    cvx::test::pump_events();
    GdkWindow* win = gtk_widget_get_window(widget);
    ASSERT_NE(win, nullptr);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    int ox = 0, oy = 0;
    gdk_window_get_origin(win, &ox, &oy);
    if (gtk_widget_get_has_window(widget)) {
        a.x = 0;
        a.y = 0;
    }
    const int x = ox + a.x + (dx >= 0 ? dx : a.width / 2);
    const int y = oy + a.y + (dy >= 0 ? dy : a.height / 2);
    ASSERT_EQ(run("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1"), 0);
    cvx::test::pump_events();
}

void press_keys(const std::string& keys)
{
    cvx::test::pump_events();
    ASSERT_EQ(run("xdotool key --delay 20 " + keys), 0);
    cvx::test::pump_events();
}

void DialogTest::TearDown()
{
    for (GtkWidget** w : {&wdgWinResolutions, &wdgWinInfo, &wdgWinPreview}) {
        if (*w)
            gtk_widget_destroy(*w);
        *w = nullptr;
    }
    cvx::test::pump_events();
    free_tree();
    bDriverModed = bHalLoaded = bInMergedMode = 0;
    device_info[1] = device_info[2] = 0;
    CurrentScreen = 0;
}

}  // namespace cvx::test::dialogs
