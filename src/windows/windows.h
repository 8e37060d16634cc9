// Constructors of every window and the entry points other windows call.
#pragma once

#include <gtk/gtk.h>

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

GtkWidget* create_winOpen();
GtkWidget* create_winCentral();
GtkWidget* create_winIdentify();
GtkWidget* create_winResolutions();
GtkWidget* create_winAdjust();
GtkWidget* create_winSaveMode();
GtkWidget* create_winInfo();
GtkWidget* create_winPreview();
GtkWidget* create_winMsgBox();

// Opens the modal message box and returns at once.
void MsgBox(const char* title, const char* text, unsigned char mustExitFlag);

// Main window layout drawing.
void drawLayout(int first, int where, int second);

// Monitor settings window.
void refreshAdjustWindow();
void showModeParams(XF86VidModeModeLine* modeLine);

// Preview window.
void fillConfigPreview(GtkWidget* text, GtkWidget* scrollbar);
