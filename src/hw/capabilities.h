// What each board model offers, by the PCI device ID and revision the probe
// reads: the display modes and the output types. The windows ask this table;
// adding a board model touches the table, the emulated board files and their
// tests.
#pragma once

#include <cstdint>

namespace cvx::hw {

struct BoardCapabilities {
    bool supported = false;        // the program works with the board at all
    bool two_displays = false;     // PairView Multi-Display and Clone
    bool merged = false;           // PairView Merged (one framebuffer over both outputs)
    bool tv_and_digital = false;   // TV and DVI outputs besides analog
};

// An unknown board offers nothing (supported false).
BoardCapabilities board_capabilities(uint32_t deviceId, uint32_t revision);

}  // namespace cvx::hw
