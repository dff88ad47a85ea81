// What the module's bootloader finds in the flash on its way back from a restart:
// the FPGA image at 0x0 and the checksum-framed microcontroller image at 0xD0000.
#pragma once
#include "sim/model/flash.h"
#include <cstdint>
#include <string>

inline constexpr std::uint32_t kMcuImageAddress = 0xD0000;
inline constexpr std::uint32_t kMcuImageLength = 0xFBFC;   // the bootloader knows it
inline constexpr std::uint32_t kMcuVersionOffset = 0xF7FE; // image offset, big-endian

enum class SimImageState { Ok, Blank, Bad };

struct SimBootResult {
    SimImageState fpga = SimImageState::Blank;
    SimImageState mcu = SimImageState::Blank;
};

SimImageState SimCheckFpgaImage(const SimFlash& flash);
// bootloader_version: the low 7 bits of the configured bootloader byte.
SimImageState SimCheckMcuImage(const SimFlash& flash, std::uint32_t bootloader_version);
SimBootResult SimRunBootChecks(const SimFlash& flash, std::uint32_t bootloader_version);

// Image offset of the checksum slot for a bootloader version, and the value the slot
// holds in an unframed image. Versions above 2 use the version-2 slot.
std::uint32_t SimMcuSlotOffset(std::uint32_t bootloader_version);
std::uint16_t SimMcuSlotReserved(std::uint32_t bootloader_version);

// The version word of the microcontroller image in the flash.
std::uint16_t SimFlashImageVersion(const SimFlash& flash);

// "fpga ok, mcu bad": the text of events.log's boot line and of the status line.
std::string SimBootResultText(const SimBootResult& result);
const char* SimImageStateName(SimImageState state);
