// The command-line tools' one way to take a whole input file into memory.
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
