// The carried blobs that are reached by name rather than through the device record, each
// with its stored (compressed) length.
#pragma once
#include <cstdint>

extern const unsigned char usb_library_bz2[];
extern const std::uint32_t usb_library_bz2_len;

extern const unsigned char driver_package_bz2[];
extern const std::uint32_t driver_package_bz2_len;
