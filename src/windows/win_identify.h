// Identify windows: one display-number window centred on each head.
#pragma once

#include <gtk/gtk.h>

namespace cvx::identify {

// Creates and shows the identify windows into wdgWinIdentify: one per
// Xinerama head (at most two, "pixS1" on the first, "pixS2" on the second),
// or one centred on the first X screen without Xinerama. Each is transient
// for `parent` and asked to stay on top. Returns how many were opened.
int open_windows(GtkWidget* parent);

// Destroys the windows in slots 0 .. count-1 and clears the slots.
void close_windows(int count);

}  // namespace cvx::identify
