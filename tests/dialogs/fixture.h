// Shared set-up of the dialog tests: one private X server and root per test
// binary, the toolkit on it, and a configuration tree parsed from text.
#pragma once

#include <memory>
#include <string>

// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include "xf86config/xf86config.h"
#include "support/xserver.h"

namespace cvx::test::dialogs {

// The server of this binary (window manager on, so keyboard focus works).
cvx::test::XServer& server();
cvx::test::TempRoot& root();

// Parses `text` into pXF86Config (freeing the previous tree); fails the test
// when it does not parse.
void load_tree(const std::string& text);
void free_tree();
// The tree in configuration-file syntax.
std::string tree_text();

// A board that can drive TV and digital outputs, and one that cannot.
void use_tv_board();
void use_plain_board();

// A typical two-display configuration of the board: Display 1 at depth 24
// with "1024x768" "800x600", Display 2 at depth 16 with "640x480", single head.
std::string base_config(const std::string& device1_options = "", const std::string& monitor1_extra = "",
                        const std::string& layout_screens = "  Screen \"Display 1\"\n");

// Text of a label, state of a toggle, sensitivity, by widget name.
std::string label_text(GtkWidget* window, const char* name);
bool is_active(GtkWidget* window, const char* name);
bool is_sensitive(GtkWidget* window, const char* name);

// Writes a screenshot into the build tree's screenshots/ folder.
void shoot(const std::string& name);

// Clicks the primary button at a widget's centre (or at an offset from its
// top-left corner) with a real pointer event.
void click_widget(GtkWidget* widget, int dx = -1, int dy = -1);
void press_keys(const std::string& keys);   // xdotool key names, blank-separated

// Fixture: frees the tree and the open windows after each test.
class DialogTest : public ::testing::Test {
protected:
    void TearDown() override;
};

}  // namespace cvx::test::dialogs
