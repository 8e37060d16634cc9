#include "adjust/adjust_fixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include <X11/XKBlib.h>

#include "core/globals.h"
#include "windows/window_state.h"
#include "core/paths.h"
#include "shell/support.h"
#include "windows/win_adjust.h"
#include "windows/windows.h"

namespace cvx::test::adjust {

World& world()
{
    static World w;
    return w;
}

bool start_world(const std::string& layout, bool emulator)
{
    World& w = world();
    w.root = std::make_unique<TempRoot>();
    XServerOptions options;
    options.layout = layout;
    options.driver_emulator = emulator;
    try {
        w.server = std::make_unique<XServer>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no test X server: %s\n", e.what());
        return false;
    }
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "the toolkit cannot open %s\n", w.server->display().c_str());
        return false;
    }
    pDisp = XOpenDisplay(w.server->display().c_str());
    w.probe = XOpenDisplay(w.server->display().c_str());
    if (!pDisp || !w.probe)
        return false;
    for (const std::string& dir : cvx::paths::pixmap_dirs())
        add_pixmap_directory(dir.c_str());
    int opcode = 0, error_base = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(w.probe, &opcode, &w.xkb_event_base, &error_base, &major, &minor))
        XkbSelectEvents(w.probe, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
    XSync(w.probe, False);
    return true;
}

void stop_world()
{
    World& w = world();
    if (pXF86Config) {
        xf86freeConfig(pXF86Config);
        pXF86Config = nullptr;
    }
    if (w.probe)
        XCloseDisplay(w.probe);
    w.probe = nullptr;
    if (pDisp)
        XCloseDisplay(pDisp);
    pDisp = nullptr;
    w.server.reset();
    w.root.reset();
}

ServerMode server_mode(int screen)
{
    ServerMode m;
    XF86VidModeGetModeLine(world().probe, screen, &m.clock, &m.line);
    if (m.line.c_private)
        XFree(m.line.c_private);
    m.line.c_private = nullptr;
    return m;
}

int bells_heard()
{
    World& w = world();
    XSync(w.probe, False);
    int bells = 0;
    while (XPending(w.probe)) {
        XEvent ev;
        XNextEvent(w.probe, &ev);
        if (w.xkb_event_base >= 0 && ev.type == w.xkb_event_base &&
            reinterpret_cast<XkbAnyEvent*>(&ev)->xkb_type == XkbBellNotify)
            ++bells;
    }
    return bells;
}

std::string command_file()
{
    std::ifstream in(cvx::paths::driver_in(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void plant_command_sentinel()
{
    std::ofstream out(cvx::paths::driver_in(), std::ios::binary | std::ios::trunc);
    out << kSentinel;
}

std::string label_text(GtkWidget* window, const char* name)
{
    GtkWidget* w = lookup_widget(window, name);
    return w && GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "(no label)";
}

std::string text_view_text(GtkWidget* window, const char* name)
{
    GtkWidget* w = lookup_widget(window, name);
    if (!w || !GTK_IS_TEXT_VIEW(w))
        return "(no text view)";
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    char* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string out = text;
    g_free(text);
    return out;
}

void load_test_config()
{
    static const char* const text = R"(Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
EndSection
Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
EndSection
Section "Monitor"
    Identifier "Display 1"
    HorizSync 28.0-96.0
    VertRefresh 50.0-100.0
EndSection
Section "Monitor"
    Identifier "Display 2"
    HorizSync 28.0-96.0
    VertRefresh 50.0-100.0
EndSection
Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
    EndSubSection
EndSection
Section "Screen"
    Identifier "Display 2"
    Device "CORVEX CARD 2"
    Monitor "Display 2"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen 0 "Display 1" 0 0
    Screen 1 "Display 2" RightOf "Display 1"
EndSection
)";
    if (pXF86Config)
        xf86freeConfig(pXF86Config);
    pXF86Config = xf86parseConfigText(text, "adjust-test.conf");
}

void AdjustTest::SetUp()
{
    ASSERT_NE(pDisp, nullptr);
    bInMergedMode = 0;
    bDidChange = 0;
    modeChange = 0;
    load_test_config();
    ASSERT_NE(pXF86Config, nullptr);

    // The main window's part: the summary label lives there.
    main_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(main_window), 560, 420);
    gtk_window_move(GTK_WINDOW(main_window), 300, 200);
    GtkWidget* label = gtk_label_new("Display 1 : --");
    gtk_container_add(GTK_CONTAINER(main_window), label);
    g_object_set_data_full(G_OBJECT(main_window), "lblResInfo", g_object_ref(label), g_object_unref);
    gtk_widget_show_all(main_window);
    wdgWinCentral = main_window;
    pump_events();
    bells_heard();
}

void AdjustTest::TearDown()
{
    for (GtkWidget** w : {&wdgWinMsgbox, &wdgWinSave, &wdgWinAdjust}) {
        if (*w)
            gtk_widget_destroy(*w);
        *w = nullptr;
    }
    if (main_window)
        gtk_widget_destroy(main_window);
    main_window = nullptr;
    wdgWinCentral = nullptr;
    pump_events();
}

GtkWidget* AdjustTest::open_adjust(int screen, bool driver, bool hal)
{
    bDriverModed = driver;
    bHalLoaded = hal;
    CurrentScreen = screen;
    GtkWidget* win = create_winAdjust();
    wdgWinAdjust = win;
    set_window_back(win, lookup_widget(win, "fixed1"));
    gtk_widget_show(win);
    pump_events();
    return win;
}

void AdjustTest::click(const char* button)
{
    GtkWidget* w = lookup_widget(wdgWinAdjust, button);
    ASSERT_NE(w, nullptr) << button;
    gtk_button_clicked(GTK_BUTTON(w));
    pump_events();
}

void AdjustTest::press_apply()
{
    GtkWidget* w = lookup_widget(wdgWinAdjust, "buttonApply");
    ASSERT_NE(w, nullptr);
    g_signal_emit_by_name(w, "pressed");
    pump_events();
}

bool AdjustTest::send_key(GtkWidget* window, guint keyval)
{
    GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
    ev->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    ev->key.send_event = TRUE;
    ev->key.time = GDK_CURRENT_TIME;
    ev->key.keyval = keyval;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_event_set_device(ev, gdk_seat_get_keyboard(seat));
    const bool handled = gtk_widget_event(window, ev);
    gdk_event_free(ev);
    pump_events();
    return handled;
}

void AdjustTest::send_delete(GtkWidget* window)
{
    // Through the main loop's dispatch, so the modal grab rules apply.
    GdkEvent* ev = gdk_event_new(GDK_DELETE);
    ev->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    ev->any.send_event = TRUE;
    gtk_main_do_event(ev);
    gdk_event_free(ev);
    pump_events();
}

}  // namespace cvx::test::adjust
