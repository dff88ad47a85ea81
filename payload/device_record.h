// The constant description of the target module and of the images an update writes.
#pragma once
#include <cstdint>

inline constexpr std::uint32_t IMAGE_COMPRESSED = 0x80;  // data is a bzip2 stream
inline constexpr std::uint32_t IMAGE_CHECKSUMMED = 0x01; // written with the bootloader framing

inline constexpr int kMaxImages = 10;
inline constexpr std::uint8_t kSubtypeListEnd = 0xFF;

struct ImageEntry {
    std::uint32_t flash_address;
    const std::uint8_t* data; // null ends the list
    std::uint32_t length;     // stored length (compressed length when compressed)
    std::uint32_t flags;
};

struct DeviceRecord {
    const char* model;
    std::uint8_t type;
    std::uint8_t subtypes[8]; // ended by kSubtypeListEnd
    std::uint16_t version;
    const char* description;
    ImageEntry images[kMaxImages];
};

extern const DeviceRecord device_record;
