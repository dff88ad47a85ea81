// The module's 2 MiB SPI flash: block erase to FF, page program as AND.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint32_t kFlashSize = 2 * 1024 * 1024;
inline constexpr std::uint32_t kFlashBlockSize = 0x10000;
inline constexpr std::uint32_t kFlashPageSize = 256;

struct SimFlash {
    std::vector<std::uint8_t> bytes;       // kFlashSize once created, empty before
    std::vector<std::uint32_t> stuck_bits; // addresses whose bit 0 stays 1
    // Bytes changed since the flash file was last written or read: [begin, end), so
    // that a door saving after every request writes a page, not 2 MiB.
    std::uint32_t changed_begin = 0;
    std::uint32_t changed_end = 0;
};

inline bool SimFlashChanged(const SimFlash& flash) {
    return flash.changed_end > flash.changed_begin;
}
// The flash and its file agree again.
inline void SimFlashMarkSaved(SimFlash* flash) {
    flash->changed_begin = flash->changed_end = 0;
}

void SimFlashEraseAll(SimFlash* flash);
// Erases the 64 KiB block that holds address.
void SimFlashEraseBlock(SimFlash* flash, std::uint32_t address);
// Programs data from address; the address wraps inside its 256-byte page, as the
// flash chip does. Bits only go from 1 to 0; returns how many bits the data asked to
// go from 0 to 1 (they stay 0).
std::uint32_t SimFlashProgram(SimFlash* flash, std::uint32_t address,
                              std::span<const std::uint8_t> data);
// Reads count bytes from address, wrapping at the end of the flash.
void SimFlashRead(const SimFlash& flash, std::uint32_t address, std::span<std::uint8_t> out);
