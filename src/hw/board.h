// The emulated board: PCI functions with their configuration registers and
// option ROMs, read from a board description file (emulation/boards/*.board).
//
// File format, one statement a line, '#' starts a comment:
//   slot BUS DEVICE [FUNCTION]   a PCI function; the lines below describe it
//   id VENDOR DEVICE             register 0x00
//   revision REV                 low byte of register 0x08
//   class CODE                   high 24 bits of register 0x08
//   reg OFFSET VALUE             any dword register (OFFSET a multiple of 4)
//   rom OFFSET BYTE...           ROM bytes: hex pairs ("55 AA") or "text"
//   rom-size SIZE                cut or pad (0xFF) the ROM image to SIZE
//   rom-file PATH                a binary ROM image, relative to the file
//   rom-gate OFFSET MASK         the ROM also needs these bits set in that register
//   include PATH                 another board file's statements, relative to this one
//   fail io-privilege            port I/O privilege is refused (not root)
//   fail mem-open                the memory device cannot be opened
//   fail mem-map                 the ROM window cannot be mapped
// Numbers are C literals (0x.. or decimal). Slots not described answer
// 0xFFFFFFFF, as an empty slot does. Registers 0x00 and 0x08 are read-only.
// The ROM answers at the address in register 0x30 (bits 11-31) while that
// register's enable bit and the command register's memory-space bit are set;
// physical memory no ROM covers reads as 0xFF.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "hw/platform.h"

namespace cvx::hw {

struct PciFunction {
    unsigned bus = 0, device = 0, function = 0;
    std::array<uint32_t, 64> config{};   // the 256-byte configuration space
    std::vector<uint8_t> rom;
    unsigned rom_gate_reg = 0;
    uint32_t rom_gate_mask = 0;   // 0: no board-specific gate
};

struct BoardDescription {
    std::vector<PciFunction> functions;
    bool deny_io = false;
    bool fail_mem_open = false;
    bool fail_mem_map = false;
};

struct BoardParse {
    bool ok = false;
    BoardDescription board;
    std::string error;   // "LINE: reason" when !ok
};

// `base_dir` resolves rom-file paths.
BoardParse parse_board(const std::string& text, const std::string& base_dir);
// Error texts begin with the path.
BoardParse load_board_file(const std::string& path);

class EmulatedBoard : public Platform {
public:
    explicit EmulatedBoard(BoardDescription board);

    bool acquire_io() override;
    void release_io() override;
    uint32_t in32(uint16_t port) override;
    void out32(uint16_t port, uint32_t value) override;
    MemoryWindow read_memory(uint64_t physical, size_t length) override;

    // For tests: the current register state and what the probe asked for.
    const PciFunction* find(unsigned bus, unsigned device, unsigned function = 0) const;
    uint32_t config(unsigned bus, unsigned device, unsigned reg) const;   // function 0
    int io_acquisitions() const { return m_acquisitions; }
    int io_releases() const { return m_releases; }
    bool io_held() const { return m_held; }
    int memory_reads() const { return m_memory_reads; }
    // Port accesses made without the privilege (a real machine would have
    // ended the process); they answer 0xFFFFFFFF and write nothing.
    int unprivileged_accesses() const { return m_unprivileged; }
    uint64_t last_memory_address() const { return m_last_address; }

private:
    PciFunction* addressed();

    BoardDescription m_board;
    uint32_t m_address = 0;
    bool m_held = false;
    int m_acquisitions = 0, m_releases = 0, m_memory_reads = 0, m_unprivileged = 0;
    uint64_t m_last_address = 0;
};

}  // namespace cvx::hw
