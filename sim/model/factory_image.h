// The factory image a new flash is seeded with: an FPGA image header and a framed
// microcontroller image of the configured version. Also the framing itself, which
// tests use to build images for every bootloader version.
#pragma once
#include "sim/model/flash.h"
#include <cstdint>
#include <vector>

// A microcontroller image of kMcuImageLength bytes with both slots at their reserved
// values and version at its version offset.
std::vector<std::uint8_t> SimFactoryMcuImage(std::uint16_t version);
// The image framed for a bootloader version: header word, image with the slot
// filled, trailer word (length + 4 bytes).
std::vector<std::uint8_t> SimFrameMcuImage(const std::vector<std::uint8_t>& image,
                                           std::uint32_t bootloader_version);
// Erases the whole flash and writes the factory images.
void SimSeedFactoryFlash(SimFlash* flash, std::uint16_t version, std::uint32_t bootloader_version);
