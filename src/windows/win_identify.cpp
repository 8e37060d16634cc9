// The identify window: a borderless pop-up that shows one display number,
// and placing one on each head.
#include "windows/win_identify.h"

#include <algorithm>
#include <string>

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>

#include "core/c_ptr.h"
#include "core/globals.h"
#include "shell/support.h"
#include "shell/ui.h"
#include "windows/window_state.h"
#include "windows/windows.h"

GtkWidget* create_winIdentify()
{
    GtkWidget* window = cvx_ui_build("win_identify.ui", "winIdentify", {});
    cvx_ui_set_pixmap(window, "pixS1", "s1.xpm");
    cvx_ui_set_pixmap(window, "pixS2", "s2.xpm");
    return window;
}

namespace cvx::identify {
namespace {

// A realized pop-up that was never shown may still carry its 1 x 1 initial
// allocation; its requested size is what it will be mapped at.
void window_size(GtkWidget* window, int* width, int* height)
{
    GtkAllocation alloc;
    gtk_widget_get_allocation(window, &alloc);
    int req_w = -1, req_h = -1;
    gtk_widget_get_size_request(window, &req_w, &req_h);
    *width = alloc.width > 1 ? alloc.width : std::max(req_w, 1);
    *height = alloc.height > 1 ? alloc.height : std::max(req_h, 1);
}

GtkWidget* prepare(int slot, GtkWidget* parent)
{
    GtkWidget* window = create_winIdentify();
    wdgWinIdentify[slot] = window;
    set_identify_back(window, lookup_widget(window, "fixed4"));
    if (parent)
        gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(parent));
    setWindowLayer(window);
    const std::string picture = "pixS" + std::to_string(slot + 1);
    if (GtkWidget* number = lookup_widget(window, picture.c_str()))
        gtk_widget_show(number);
    return window;
}

}  // namespace

int open_windows(GtkWidget* parent)
{
    if (pDisp && XineramaIsActive(pDisp)) {
        int heads = 0;
        cvx::CPtr<XineramaScreenInfo, XFree> info(XineramaQueryScreens(pDisp, &heads));
        const int count = info ? std::min(heads, 2) : 0;
        for (int i = 0; i < count; ++i) {
            GtkWidget* window = prepare(i, parent);
            int width = 0, height = 0;
            window_size(wdgWinIdentify[0], &width, &height);
            const XineramaScreenInfo& head = info.get()[i];
            gtk_window_move(GTK_WINDOW(window), head.x_org + head.width / 2 - width / 2,
                            head.y_org + head.height / 2 - height / 2);
        }
        for (int i = 0; i < count; ++i)
            gtk_widget_show(wdgWinIdentify[i]);
        return count;
    }

    GtkWidget* window = prepare(0, parent);
    int width = 0, height = 0;
    window_size(window, &width, &height);
    int screen_w = 0, screen_h = 0;
    if (pDisp) {
        screen_w = DisplayWidth(pDisp, 0);
        screen_h = DisplayHeight(pDisp, 0);
    }
    gtk_window_move(GTK_WINDOW(window), screen_w / 2 - width / 2, screen_h / 2 - height / 2);
    gtk_widget_show(window);
    return 1;
}

void close_windows(int count)
{
    count = std::clamp(count, 0, 2);
    for (int i = 0; i < count; ++i) {
        if (wdgWinIdentify[i]) {
            gtk_widget_destroy(wdgWinIdentify[i]);
            wdgWinIdentify[i] = nullptr;
        }
    }
}

}  // namespace cvx::identify
