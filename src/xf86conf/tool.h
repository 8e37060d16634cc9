// Pieces the xf86conf subcommands share.
#pragma once

#include <string>

#include "xf86config/xf86config.h"

namespace xf86conf {

// Exit statuses of every subcommand.
enum ExitStatus { kDone = 0, kFileError = 1, kUsage = 2, kWouldChange = 3 };

// Parses FILE (absolute or relative to the working directory); null after
// printing the parser's diagnostics when it cannot be opened or parsed.
XF86ConfigPtr read_named(const char* file);
// The parser's diagnostics collected since the last call, then forgotten.
std::string take_diagnostics();

int run_show(int argc, char** argv);
int run_set(int argc, char** argv);

}  // namespace xf86conf
