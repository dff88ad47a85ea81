#include "payload/bz2_block_stages.h"

void Bz2LinkBlock(std::uint32_t* block, std::int32_t byte_count, const std::uint32_t* byte_counts) {
    std::uint32_t next_slot[256];
    std::uint32_t sum = 0;
    for (int b = 0; b < 256; ++b) {
        next_slot[b] = sum;
        sum += byte_counts[b];
    }
    for (std::int32_t i = 0; i < byte_count; ++i) {
        const std::uint32_t b = block[i] & 0xFF;
        block[next_slot[b]++] |= static_cast<std::uint32_t>(i) << 8;
    }
}
