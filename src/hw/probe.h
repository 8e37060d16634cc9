// The board probe: PCI scan for the board and the graphics BIOS version.
#pragma once

#include <cstddef>
#include <cstdint>

int iopl(int level);
int pciReadConfig(unsigned char bus, unsigned char device, unsigned char reg, uint32_t* value);
int pciWriteConfig(unsigned char bus, unsigned char device, unsigned char reg, uint32_t value);
int getCorvexPci(int* device, int* bus, uint32_t* deviceId, unsigned char* revision);
uint32_t getBiosVersion();
int DisplayBiosVersion(char* buffer, size_t size);

// Called before the probe's fatal exits, so the server's mode-switch hot-keys
// are unlocked first; installed by the program's start-up (null = nothing).
using CvxFatalExitHook = void (*)();
extern CvxFatalExitHook cvxProbeFatalExitHook;
