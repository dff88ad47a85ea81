// The command-line tools' one way to take a whole file into memory and to write one out.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

// False when PATH cannot be opened; BYTES then stays untouched.
inline bool ReadWholeFile(const char* path, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Writes BYTES as the whole file PATH; false when it could not be written.
inline bool WriteWholeFile(const char* path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}
