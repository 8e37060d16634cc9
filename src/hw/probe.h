// The board probe: PCI scan for the board and the graphics BIOS version.
// Both scans take port I/O privilege at their start and release it before
// they return; without the privilege (not root) they print " You must be
// ROOT! " and end the process with status 1. getBiosVersion ends it with
// status -1 when the memory device cannot be opened. Before either exit the
// exit release runs (core/exit_release.h), so that the X server's mode-switch
// hot-keys are unlocked first.
#pragma once

#include <cstddef>
#include <cstdint>

// Non-zero level acquires the privilege (0 on success, 1 when refused; a
// second acquisition while held succeeds at once), 0 releases it (always 0).
int iopl(int level);
// Configuration mechanism 1, function 0; the two low bits of `reg` select
// the data port byte. 1 on success, 0 (value 0xFFFFFFFF) without privilege.
int pciReadConfig(unsigned char bus, unsigned char device, unsigned char reg, uint32_t* value);
int pciWriteConfig(unsigned char bus, unsigned char device, unsigned char reg, uint32_t value);
// The first board of vendor 0x102B by bus (0-15), then device (0-31): 1 and
// all four stored; 0 with device ID and revision set to 0 (device and bus
// untouched) when there is none.
int getCorvexPci(int* device, int* bus, uint32_t* deviceId, unsigned char* revision);
// Packed version (major bits 16-19, minor 12-15, build 0-11) of the first
// board whose ROM has a signature, 0 when none could be read. Registers 0x30
// and 0x40 are restored; memory decoding stays enabled.
uint32_t getBiosVersion();
// "Unknown" when device_info[1] is 0, else "MAJOR.MINOR - BUILD" (bounded by
// size); writes nothing and returns 0 when no version could be read.
// Returns the number of characters in the buffer.
int DisplayBiosVersion(char* buffer, size_t size);
