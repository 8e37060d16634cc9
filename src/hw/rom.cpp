// Option ROM layout: signature 0x55 0xAA, the offset of the PCI data
// structure at 0x18, the structure's revision level at +0x12; older images
// keep the version in byte 5.
#include "hw/rom.h"

namespace cvx::hw {

std::optional<uint32_t> bios_version_from_rom(std::span<const uint8_t> w)
{
    if (w.size() < 2 || w[0] != 0x55 || w[1] != 0xAA)
        return std::nullopt;
    if (w.size() < 0x1A)
        return 0u;
    const size_t pcir = static_cast<size_t>(w[0x18]) | static_cast<size_t>(w[0x19]) << 8;
    // The structure's signature and revision level must both lie in the
    // window; otherwise the version cannot be read.
    if (pcir > w.size() || w.size() - pcir < 4)
        return 0u;
    if (w[pcir] == 'P' && w[pcir + 1] == 'C' && w[pcir + 2] == 'I' && w[pcir + 3] == 'R') {
        if (w.size() - pcir < 0x14)
            return 0u;
        const uint32_t lo = w[pcir + 0x12];
        const uint32_t hi = w[pcir + 0x13];
        return (lo >> 4) << 16 | (lo & 0x0F) << 12 | hi;
    }
    const uint32_t b = w[5];
    return (b >> 4) << 16 | (b & 0x0F) << 12;
}

}  // namespace cvx::hw
