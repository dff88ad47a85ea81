// Writes an 8-bit RGB picture as a PNG file (stored, uncompressed deflate blocks).
#pragma once
#include <cstdint>
#include <vector>

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // rows top to bottom, 3 bytes per pixel
};

bool WritePng(const char* path, const RgbPicture& picture);
