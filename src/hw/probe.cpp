// The board probe: finds the board on the PCI bus and reads its graphics BIOS
// version, through configuration mechanism 1 on whatever platform() gives.
#include "hw/probe.h"

#include <cstdio>
#include <cstdlib>

#include "core/exit_release.h"
#include "core/globals.h"
#include "hw/platform_select.h"
#include "hw/rom.h"

namespace {

constexpr uint32_t kVendorId = 0x102B;
constexpr unsigned kBuses = 16;
constexpr unsigned kDevices = 32;

constexpr unsigned char kRegId = 0x00;
constexpr unsigned char kRegCommand = 0x04;
constexpr unsigned char kRegRevision = 0x08;
constexpr unsigned char kRegBar0 = 0x10;
constexpr unsigned char kRegRomBase = 0x30;
constexpr unsigned char kRegBoard = 0x40;

constexpr uint32_t kMemorySpaceEnable = 0x2;
constexpr uint32_t kRomEnable = 0x1;
constexpr uint32_t kBoardRomAccess = 0x40000000;

// The privilege handle: held on the platform of this generation.
bool g_io_held = false;
unsigned g_io_generation = 0;

bool io_held() { return g_io_held && g_io_generation == cvx::hw::platform_generation(); }

uint32_t config_address(unsigned char bus, unsigned char device, unsigned char reg)
{
    return 0x80000000u | static_cast<uint32_t>(bus) << 16 | static_cast<uint32_t>(device) << 11 |
           static_cast<uint32_t>(reg & 0xFC);
}

// The hook runs first so that the X server's mode-switch hot-keys are
// unlocked; the process would otherwise leave them dead behind it.
[[noreturn]] void fatal_exit(const char* message, int status)
{
    cvx::run_exit_release();
    std::fputs(message, stdout);
    std::fflush(stdout);
    std::exit(status);
}

uint32_t read_reg(unsigned char bus, unsigned char device, unsigned char reg)
{
    uint32_t v = 0xFFFFFFFFu;
    pciReadConfig(bus, device, reg, &v);
    return v;
}

}  // namespace

int iopl(int level)
{
    if (level != 0) {
        if (io_held())
            return 0;
        cvx::hw::Platform& p = cvx::hw::platform();
        g_io_held = p.acquire_io();
        g_io_generation = cvx::hw::platform_generation();
        return g_io_held ? 0 : 1;
    }
    if (io_held())
        cvx::hw::platform().release_io();
    g_io_held = false;
    return 0;
}

// Without the privilege a port access would end the process on a real
// machine; it is refused instead and reads as an empty slot.
int pciReadConfig(unsigned char bus, unsigned char device, unsigned char reg, uint32_t* value)
{
    if (!io_held()) {
        if (value)
            *value = 0xFFFFFFFFu;
        return 0;
    }
    cvx::hw::Platform& p = cvx::hw::platform();
    p.out32(cvx::hw::kPciConfigAddress, config_address(bus, device, reg));
    uint32_t v = p.in32(cvx::hw::kPciConfigData);
    if (value)
        *value = v;
    return 1;
}

int pciWriteConfig(unsigned char bus, unsigned char device, unsigned char reg, uint32_t value)
{
    if (!io_held())
        return 0;
    cvx::hw::Platform& p = cvx::hw::platform();
    p.out32(cvx::hw::kPciConfigAddress, config_address(bus, device, reg));
    p.out32(static_cast<uint16_t>(cvx::hw::kPciConfigData + (reg & 3)), value);
    return 1;
}

int getCorvexPci(int* device, int* bus, uint32_t* deviceId, unsigned char* revision)
{
    if (iopl(3) != 0)
        fatal_exit(" You must be ROOT! \n\n", 1);
    for (unsigned b = 0; b < kBuses; ++b) {
        for (unsigned d = 0; d < kDevices; ++d) {
            const auto cb = static_cast<unsigned char>(b), cd = static_cast<unsigned char>(d);
            const uint32_t id = read_reg(cb, cd, kRegId);
            if ((id & 0xFFFF) != kVendorId)
                continue;
            if (device)
                *device = static_cast<int>(d);
            if (bus)
                *bus = static_cast<int>(b);
            if (deviceId)
                *deviceId = id >> 16;
            const uint32_t rev = read_reg(cb, cd, kRegRevision);
            if (revision)
                *revision = static_cast<unsigned char>(rev & 0xFF);
            iopl(0);
            return 1;
        }
    }
    if (deviceId)
        *deviceId = 0;
    if (revision)
        *revision = 0;
    iopl(0);
    return 0;
}

uint32_t getBiosVersion()
{
    if (iopl(3) != 0)
        fatal_exit(" You must be ROOT! \n\n", 1);
    for (unsigned b = 0; b < kBuses; ++b) {
        for (unsigned d = 0; d < kDevices; ++d) {
            const auto cb = static_cast<unsigned char>(b), cd = static_cast<unsigned char>(d);
            if ((read_reg(cb, cd, kRegId) & 0xFFFF) != kVendorId)
                continue;

            pciWriteConfig(cb, cd, kRegCommand, read_reg(cb, cd, kRegCommand) | kMemorySpaceEnable);
            const uint32_t saved_board = read_reg(cb, cd, kRegBoard);
            pciWriteConfig(cb, cd, kRegBoard, saved_board | kBoardRomAccess);
            const uint32_t saved_rom = read_reg(cb, cd, kRegRomBase);
            const uint32_t rom_address = read_reg(cb, cd, kRegBar0) & 0xFF000000u;
            pciWriteConfig(cb, cd, kRegRomBase, rom_address | kRomEnable);

            cvx::hw::MemoryWindow w = cvx::hw::platform().read_memory(rom_address, cvx::hw::kRomWindowSize);

            // The ROM decoder is switched off again whatever the read gave:
            // left on, it would answer at the framebuffer's address.
            pciWriteConfig(cb, cd, kRegRomBase, saved_rom);
            pciWriteConfig(cb, cd, kRegBoard, saved_board);

            if (w.status == cvx::hw::MemoryStatus::open_failed) {
                iopl(0);
                fatal_exit("open Error - Quiting \n", -1);
            }
            if (w.status == cvx::hw::MemoryStatus::map_failed) {
                std::fputs("Map Unsuccessfull\n", stdout);
                std::fflush(stdout);
                iopl(0);
                return 0;
            }
            std::optional<uint32_t> version = cvx::hw::bios_version_from_rom(w.bytes);
            if (!version)
                continue;
            iopl(0);
            return *version;
        }
    }
    iopl(0);
    return 0;
}

int DisplayBiosVersion(char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    int n = 0;
    if (device_info[1] == 0) {
        n = std::snprintf(buffer, size, "%s", "Unknown");
    } else {
        const uint32_t v = getBiosVersion();
        if (v == 0)
            return 0;
        n = std::snprintf(buffer, size, "%u.%u - %u", v >> 16, (v >> 12) & 0xF, v & 0xFFF);
    }
    if (n < 0)
        return 0;
    // The count of characters actually in the buffer, not the would-be length.
    return static_cast<size_t>(n) < size ? n : static_cast<int>(size - 1);
}
