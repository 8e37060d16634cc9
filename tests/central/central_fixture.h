// Shared set-up of the main window tests: one private X server (with the
// board driver's emulator, answering as the scenario says) and one private
// root per process, the toolkit on it, and helpers that open the main window
// the way the configuration-file window does.
#pragma once

// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "support/xserver.h"

namespace cvx::test::central {

// What the server of this process is: its layout and the emulator's answers.
struct Scenario {
    std::string name;      // also the gtest suite the scenario runs
    std::string layout = "one";
    bool emulator = true;
    std::vector<std::pair<std::string, std::string>> server_env;
};

// Starts the server, root and toolkit for the scenario named on the command
// line (--scenario=NAME, default "Default") and limits the tests to its suite.
int run_scenarios(int argc, char** argv, const std::vector<Scenario>& scenarios);

const std::string& display_name();

// Board in device_info (device ID, revision).
void use_board(uint32_t deviceId, uint32_t revision);
// The HAL module file under the private root, present or not.
void set_hal_module_present(bool present);

// Parses `text` into pXF86Config (freeing the previous tree).
void load_tree(const std::string& text);
// Opens `file` into pXF86Config as the configuration-file window's OK does,
// with the backup path "FILE_CVX-BACKUP" in sConfigBackup; console lines
// dropped. The save sequence works on this file only.
void open_file(const std::string& file);
std::string tree_text();

// Typical files: a single display with foreign identifiers; the board's
// sections with the given ServerLayout Screen lines; a merged layout.
std::string single_config();
std::string pairview_config(const std::string& layout_lines);
std::string merged_config(const std::string& monitor2_position_option);

// Creates the main window as the configuration-file window does (global set,
// backdrop, shown) and waits until it is on screen.
GtkWidget* open_main_window();

GtkWidget* widget(const char* name);
bool is_active(const char* name);
bool is_sensitive(const char* name);
void click(const char* name);                  // gtk_button_clicked
struct Pos { int x, y; bool operator==(const Pos&) const = default; };
Pos position(const char* name);                // inside "fixed3"
std::string label(const char* name);

// Message boxes currently open: title and text of each, oldest first.
struct Box { std::string title, text; };
std::vector<Box> message_boxes();
void close_message_boxes();

// The summary line the server's current mode of `screen` should give,
// computed independently ("Display N: W x H, D-bit, R Hz").
std::string expected_summary_line(int screen);

// The relation the tree's layout gives: {first, where, second}.
struct Layout { int first, where, second; bool operator==(const Layout&) const = default; };
Layout tree_layout();

// Fixture: resets the program's state before and closes everything after.
class CentralTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

std::ostream& operator<<(std::ostream& os, const Pos& p);
std::ostream& operator<<(std::ostream& os, const Layout& l);

}  // namespace cvx::test::central
