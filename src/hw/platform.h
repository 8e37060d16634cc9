// The seam under the board probe: port I/O privilege, 32-bit port access and
// reading a window of physical memory. Two implementations: the machine's own
// ports and /dev/mem, or an emulated board described by a file (chosen at run
// time through CVXSCAPE_BOARD in builds with the test seams, CVX_TEST_HOOKS),
// so the probe runs unchanged on a machine without the board;
// hw/platform_select.h chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cvx::hw {

constexpr uint16_t kPciConfigAddress = 0xCF8;
constexpr uint16_t kPciConfigData = 0xCFC;

enum class MemoryStatus { ok, open_failed, map_failed };

// A copy of a physical-memory window. The mapping and the descriptor behind
// it are already released when this is returned.
struct MemoryWindow {
    MemoryStatus status = MemoryStatus::ok;
    std::vector<uint8_t> bytes;
    int error = 0;   // errno of the failed step
};

class Platform {
public:
    virtual ~Platform() = default;
    // Port I/O privilege for the PCI configuration ports. acquire_io is only
    // called while not held; release_io only while held.
    virtual bool acquire_io() = 0;
    virtual void release_io() = 0;
    // Only called while the privilege is held.
    virtual uint32_t in32(uint16_t port) = 0;
    virtual void out32(uint16_t port, uint32_t value) = 0;
    // Opens the memory device, maps `length` bytes at `physical`, copies them
    // and releases both again.
    virtual MemoryWindow read_memory(uint64_t physical, size_t length) = 0;
};

// The machine's own ports and memory.
std::unique_ptr<Platform> make_native_platform();

}  // namespace cvx::hw
