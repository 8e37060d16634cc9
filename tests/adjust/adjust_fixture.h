// Shared set-up of the monitor settings tests: one private X server (with
// the board driver's emulator) per test binary, the program's connection in
// pDisp, a stand-in main window holding "lblResInfo", and a probe connection
// of the test's own that reads what the server reports and hears the bell.
#pragma once

// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include <gtk/gtk.h>

#include "config/config.h"
#include "config/refresh.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include "support/xserver.h"

namespace cvx::test::adjust {

struct ServerMode {
    XF86VidModeModeLine line{};
    int clock = 0;
};

// The process-wide server and toolkit, set up once by the binary's main.
struct World {
    std::unique_ptr<TempRoot> root;
    std::unique_ptr<XServer> server;
    Display* probe = nullptr;   // the test's own connection
    int xkb_event_base = -1;
};
World& world();

// Starts everything; `layout` as for XServerOptions. Returns false (with a
// message) when the server or the toolkit cannot be had.
bool start_world(const std::string& layout, bool emulator);
void stop_world();

// What the server reports for X screen `screen` right now.
ServerMode server_mode(int screen);
// Bell notifications received on the probe connection since the last call.
int bells_heard();

// The command file's content ("" when missing), and a way to plant a
// sentinel that only a new command can replace.
std::string command_file();
void plant_command_sentinel();
constexpr const char* kSentinel = "(nothing sent)";

std::string label_text(GtkWidget* window, const char* name);
std::string text_view_text(GtkWidget* window, const char* name);

// Builds the configuration tree the save dialog stores into: Device, Monitor
// and Screen sections "Display 1" / "Display 2" as the program makes them.
void load_test_config();

// Test fixture: resets the program's flags, opens winAdjust for `screen`
// over the stand-in main window (as the main window's Adjust button does),
// and closes whatever is left afterwards.
class AdjustTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    GtkWidget* open_adjust(int screen, bool driver = true, bool hal = true);
    void click(const char* button);
    void press_apply();
    bool send_key(GtkWidget* window, guint keyval);
    void send_delete(GtkWidget* window);
    GtkWidget* main_window = nullptr;
};

}  // namespace cvx::test::adjust
