#include "payload/bz2_block_stages.h"

void Bz2BuildHuffmanGroup(Bz2HuffmanGroup* group, const std::uint8_t* code_lengths,
                          std::int32_t symbol_count) {
    std::int32_t shortest = kBz2MaxCodeLength;
    std::int32_t longest = 1;
    std::int32_t count_of_length[kBz2MaxCodeLength + 1] = {};
    for (std::int32_t s = 0; s < symbol_count; ++s) {
        const std::int32_t length = code_lengths[s];
        shortest = length < shortest ? length : shortest;
        longest = length > longest ? length : longest;
        count_of_length[length] += 1;
    }
    std::int32_t next = 0;
    for (std::int32_t length = shortest; length <= longest; ++length)
        for (std::int32_t s = 0; s < symbol_count; ++s)
            if (code_lengths[s] == length)
                group->code_symbols[next++] = s;

    // p: first code of the next length; t: symbols of the lengths done so far.
    std::int32_t p = 0;
    std::int32_t t = 0;
    for (std::int32_t length = shortest; length < longest; ++length) {
        p += count_of_length[length];
        group->code_limit[length - 1] = (p << (longest - length)) - 1;
        p *= 2;
        t += count_of_length[length];
        group->code_base[length] = p - t;
    }
    group->code_limit[longest - 1] = p + count_of_length[longest] - 1;
    group->code_limit[longest] = 0x7FFFFFFF;
    group->code_base[shortest - 1] = 0;
    group->shortest_code = shortest;
    group->longest_code = longest;
}
