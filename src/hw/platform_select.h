// Choosing the platform under the probe: an emulated board when
// CVXSCAPE_BOARD names a board file, the machine's own ports and memory
// otherwise.
#pragma once

#include <memory>

#include "hw/platform.h"

namespace cvx::hw {

// The platform in use: the emulated board named by CVXSCAPE_BOARD, or the
// machine's own when the variable is unset or empty. The variable is read on
// every call; a different value gives a fresh platform (a fresh board state).
Platform& platform();
// Changes whenever platform() starts a new platform, so a privilege taken on
// an earlier one is not mistaken for being held on this one.
unsigned platform_generation();

// Tests: use `p` instead of what the environment names, until called again
// with null.
void set_platform_override(std::unique_ptr<Platform> p);

}  // namespace cvx::hw
