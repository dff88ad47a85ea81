#include "fuzz/small_table.h"

#include <bzlib.h>

#include <cstdlib>
#include <vector>

const ImageEntry* SmallImageTable() {
    static ImageEntry table[kMaxImages] = {};
    static std::vector<std::uint8_t> plain(300), mcu(1024), packed(512);
    if (table[0].data != nullptr)
        return table;
    // Values of FE and FF among them, so replies carry escapes.
    std::vector<std::uint8_t> unpacked(200);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (std::size_t i = 0; i < mcu.size(); ++i)
        mcu[i] = static_cast<std::uint8_t>(i * 13 + 0xFE);
    for (std::size_t i = 0; i < unpacked.size(); ++i)
        unpacked[i] = static_cast<std::uint8_t>(i % 5 == 0 ? 0xFF : i);
    unsigned int packed_size = static_cast<unsigned int>(packed.size());
    if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(packed.data()), &packed_size,
                                 reinterpret_cast<char*>(unpacked.data()),
                                 static_cast<unsigned int>(unpacked.size()), 9, 0, 0) != BZ_OK)
        std::abort();
    table[0] = {0x00000, plain.data(), static_cast<std::uint32_t>(plain.size()), 0};
    table[1] = {0x10000, packed.data(), packed_size, IMAGE_COMPRESSED};
    table[2] = {0xD0000, mcu.data(), static_cast<std::uint32_t>(mcu.size()), IMAGE_CHECKSUMMED};
    return table;
}
