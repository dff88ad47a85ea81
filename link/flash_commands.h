// Commands on the module's registers and its SPI flash, and the passes that write a
// whole image. All take the open module's handle and return 0 or more on success.
#pragma once
#include "usb/usb_library.h"

#include <cstdint>

inline constexpr std::uint32_t kEraseBlockSize = 0x10000;
inline constexpr std::uint32_t kFlashChunkSize = 128;

// Flash transfer opcodes, sent through FlashPort after a count byte.
inline constexpr std::uint8_t kFlashErase = 0xD8; // 64 KiB block
inline constexpr std::uint8_t kFlashProgram = 0x02;
inline constexpr std::uint8_t kFlashRead = 0x03;

// 0 to 127; -1 send failed, -2 reply failed or too short to hold the version.
std::int32_t ReadBootloaderVersion(SiHandle handle);

// 0; -1 send failed, -2 no reply within its deadline (a reply that came is not examined).
std::int32_t UnlockFlash(SiHandle handle);

// 0, the negative send result, or the negative receive result when no reply came within
// its deadline; a reply that came is traced, never examined.
std::int32_t EraseFlashBlock(SiHandle handle, std::uint32_t address);

// Programs length (at most 128) bytes, filled up with FF to a whole chunk. 0, or the
// negative send or receive result; -1 for a length over 128.
std::int32_t ProgramFlashChunk(SiHandle handle, std::uint32_t address, std::uint32_t length,
                               const std::uint8_t* data);

// Reads length (at most 128) bytes back and compares them with data. 0, -1 when any
// byte differs or the read-back reply is too short, or a negative send or receive result.
std::int32_t VerifyFlashChunk(SiHandle handle, std::uint32_t address, std::uint32_t length,
                              const std::uint8_t* data);

// Erases, programs and verifies size bytes from address. Every chunk adds its byte count
// to done, once programmed and once verified, and reports done * 100 / total, at most
// 95. 0 or the first nonzero result of a command.
std::int32_t WriteFlashImage(SiHandle handle, std::uint32_t address, std::uint32_t size,
                             const std::uint8_t* data, std::uint32_t total, std::uint32_t& done);

// Wraps a microcontroller image in the bootloader's checksum framing (size + 4 bytes,
// the checksum slot chosen by bootloader_version) and writes it with WriteFlashImage.
// -1 for a bootloader version it does not know, an image too small for the slot, or
// no memory; otherwise the result of WriteFlashImage.
std::int32_t WriteMcuImage(SiHandle handle, std::uint32_t address, std::uint32_t size,
                           const std::uint8_t* data, std::uint32_t total, std::uint32_t& done,
                           std::int32_t bootloader_version);
