// Decoding the graphics BIOS version from a copy of the option ROM window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace cvx::hw {

constexpr size_t kRomWindowSize = 0x8000;

// Packed version (major in bits 16-19, minor 12-15, build 0-11), 0 when the
// image has a signature but no readable version (its data structure lies
// outside the window). nullopt when the window holds no ROM image (no 0x55
// 0xAA signature). Never reads outside `window`.
std::optional<uint32_t> bios_version_from_rom(std::span<const uint8_t> window);

}  // namespace cvx::hw
