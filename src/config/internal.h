// Helpers shared by the configuration model's sources; not part of the
// interface the windows use.
#pragma once

#include <string>
#include <string_view>

#include "config/config.h"

namespace cvx::config {

// "Corvex Twinscape: Configuration problem encountered.\n" on standard output.
void config_problem();
// "getScreenFromIndex failed\n" on standard output.
void screen_lookup_failed();

// The layout the program edits: the one ServerFlags' DefaultServerLayout
// names when it exists, else the first ServerLayout.
XF86ConfLayoutPtr first_layout(XF86ConfigPtr tree);
// The layout DefaultServerLayout names, or null.
XF86ConfLayoutPtr default_layout(XF86ConfigPtr tree);
// The n-th Screen line (0 = L1) of the first ServerLayout, or null.
XF86ConfAdjacencyRec* layout_line(XF86ConfigPtr tree, size_t n);
// The first ServerLayout with at least one Screen line, created (naming the
// first Screen section, or "Display 1") when the tree lacks either.
XF86ConfLayoutPtr ensure_first_layout(XF86ConfigPtr tree);
// Drops every Screen line after L1.
void drop_lines_after_first(XF86ConfLayoutPtr layout);
// No relation: placed at 0 0, as a new second line is.
void clear_relation(XF86ConfAdjacencyRec& line);
// Clears the relation of every line after L1 that places Display 1 and
// Display 2 against each other: the relation L1 states is the only one, or
// the server would pick one of two that disagree.
void drop_other_relations(XF86ConfLayoutPtr layout);

// The board's bus id ("PCI:bus:dev:0") once the board is found, else empty.
// Every Device section the builders make ours drives the board, so it gets it.
extern std::string board_busid;

// The Device and Monitor sections a Screen section refers to: the link, or
// the section of the referenced name when the link is not set.
XF86ConfDevicePtr device_of(XF86ConfigPtr tree, XF86ConfScreenPtr screen);
XF86ConfMonitorPtr monitor_of(XF86ConfigPtr tree, XF86ConfScreenPtr screen);

bool is_cvx_device(const XF86ConfDeviceRec& device);
bool option_value_is(const XF86OptionRec& option, std::string_view value);
// Removes the option the library's lookup finds; true when one was removed.
bool remove_found_option(XF86OptionList& list, std::string_view name);

// The first Display subsection for a depth (32 also takes a Depth 24 one).
XF86ConfDisplayPtr display_for_depth(XF86ConfScreenPtr screen, int depth);

// A float with one decimal, independent of the process locale.
std::string format_one_decimal(float value);

}  // namespace cvx::config
