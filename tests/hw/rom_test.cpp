// Version decoding from ROM windows: good, old-style, truncated and foreign.
#include "hw/rom.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace cvx::hw {
namespace {

std::vector<uint8_t> rom_window(size_t size = kRomWindowSize)
{
    std::vector<uint8_t> w(size, 0xFF);
    w[0] = 0x55;
    w[1] = 0xAA;
    w[5] = 0x31;
    return w;
}

void put_pcir(std::vector<uint8_t>& w, size_t at, uint8_t lo, uint8_t hi)
{
    w[0x18] = static_cast<uint8_t>(at & 0xFF);
    w[0x19] = static_cast<uint8_t>(at >> 8);
    std::memcpy(&w[at], "PCIR", 4);
    if (at + 0x13 < w.size()) {
        w[at + 0x12] = lo;
        w[at + 0x13] = hi;
    }
}

TEST(BiosVersion, DataStructureRevisionLevel)
{
    auto w = rom_window();
    put_pcir(w, 0x60, 0x42, 0x07);
    EXPECT_EQ(bios_version_from_rom(w), 0x42007u);
    put_pcir(w, 0x60, 0xF9, 0xFF);
    EXPECT_EQ(bios_version_from_rom(w), 0xF90FFu);
    put_pcir(w, 0x60, 0x00, 0x00);
    EXPECT_EQ(bios_version_from_rom(w), 0u);
    // The last place a complete structure header fits.
    put_pcir(w, kRomWindowSize - 0x14, 0x12, 0x34);
    EXPECT_EQ(bios_version_from_rom(w), 0x12034u);
}

TEST(BiosVersion, WithoutDataStructureByteFiveGivesMajorAndMinor)
{
    auto w = rom_window();
    w[0x18] = 0x40;
    w[0x19] = 0x00;
    std::memcpy(&w[0x40], "PCIX", 4);
    EXPECT_EQ(bios_version_from_rom(w), 0x31000u);
    w[5] = 0x00;
    EXPECT_EQ(bios_version_from_rom(w), 0u);
}

TEST(BiosVersion, NoSignatureIsNoRom)
{
    auto w = rom_window();
    put_pcir(w, 0x60, 0x42, 0x07);
    for (auto sig : {std::pair<uint8_t, uint8_t>{0xAA, 0x55}, {0x55, 0xAB}, {0xFF, 0xFF}, {0x00, 0x00}}) {
        w[0] = sig.first;
        w[1] = sig.second;
        EXPECT_EQ(bios_version_from_rom(w), std::nullopt);
    }
    EXPECT_EQ(bios_version_from_rom({}), std::nullopt);
    EXPECT_EQ(bios_version_from_rom(std::vector<uint8_t>{0x55}), std::nullopt);
}

TEST(BiosVersion, DataStructureOutsideTheWindowIsNoVersion)
{
    // Offsets whose signature or revision level would lie past the end.
    for (size_t at : {kRomWindowSize - 0x13, kRomWindowSize - 4, kRomWindowSize - 3, kRomWindowSize,
                      size_t{0xFFFF}}) {
        auto w = rom_window();
        w[0x18] = static_cast<uint8_t>(at & 0xFF);
        w[0x19] = static_cast<uint8_t>(at >> 8);
        if (at + 4 <= w.size())
            std::memcpy(&w[at], "PCIR", 4);
        EXPECT_EQ(bios_version_from_rom(w), 0u) << std::hex << at;
    }
}

TEST(BiosVersion, TruncatedImagesAreReadOnlyAsFarAsTheyGo)
{
    auto full = rom_window();
    put_pcir(full, 0x60, 0x42, 0x07);
    for (size_t size : {size_t{2}, size_t{0x19}, size_t{0x60}, size_t{0x63}, size_t{0x73}}) {
        std::vector<uint8_t> w(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(bios_version_from_rom(w), 0u) << size;
    }
    std::vector<uint8_t> just(full.begin(), full.begin() + 0x74);
    EXPECT_EQ(bios_version_from_rom(just), 0x42007u);
}

}  // namespace
}  // namespace cvx::hw
