#include "payload/bz2_block_stages.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int32_t kSymbolsPerSelector = 50;

// Moves the entry at `position` to the front of the list and returns it. Most positions
// are below 8; those are shifted within one 64-bit word, without a call or a loop.
std::uint8_t MoveToFront(std::uint8_t* list, std::int32_t position) {
    if (position >= 8) {
        const std::uint8_t byte = list[position];
        std::memmove(list + 1, list, static_cast<std::size_t>(position));
        list[0] = byte;
        return byte;
    }
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = word << 8 | list[i];
    const unsigned shift = 8 * static_cast<unsigned>(position);
    const std::uint8_t byte = static_cast<std::uint8_t>(word >> shift);
    const std::uint64_t moving = (std::uint64_t{0x100} << shift) - 1; // bytes 0..position
    word = (word & ~moving) | ((word << 8) & moving) | byte;
    for (int i = 0; i < 8; ++i)
        list[i] = static_cast<std::uint8_t>(word >> (8 * i));
    return byte;
}

// Where the search for a code's length may start, for each value of its top (up to 8) bits:
// the length of the smallest code with those bits, as the limits say. The limits still
// decide every length; most searches just begin at their end.
constexpr std::int32_t kStartBits = 8;

void BuildSearchStarts(const Bz2HuffmanGroup& group, std::uint8_t* starts) {
    const std::int32_t longest = group.longest_code;
    const std::int32_t top = longest < kStartBits ? longest : kStartBits;
    std::int32_t length = group.shortest_code;
    for (std::int32_t value = 0; value < (1 << top); ++value) {
        while (value << (longest - top) > group.code_limit[length - 1])
            ++length;
        starts[value] = static_cast<std::uint8_t>(length);
    }
}

} // namespace

std::int32_t Bz2DecodeSymbols(Bz2Decoder* decoder, const std::uint8_t* byte_map,
                              std::int32_t used_count, std::int32_t group_count,
                              std::int32_t selector_count, std::int32_t* byte_count,
                              std::uint32_t* byte_counts) {
    // The move-to-front list holds the mapped byte values themselves.
    std::uint8_t front_list[256];
    std::memcpy(front_list, byte_map, sizeof front_list);

    std::uint32_t* const block = decoder->block_buffer;
    const std::int32_t capacity = decoder->block_capacity;
    const std::uint8_t* const input = decoder->input_area;
    const std::int32_t input_count = decoder->input_count;
    // A wider holder than the record's saves refills; surplus bytes are given back at the end.
    std::uint64_t holder = decoder->bit_holder;
    std::uint32_t bits = decoder->bit_count;
    std::int32_t input_pos = decoder->input_pos;

    std::int32_t count = 0;
    std::int32_t run_length = 0;
    std::int32_t run_weight = 0; // 0 while no run is open
    std::int32_t selector_index = 0;
    std::int32_t left_in_span = 0;
    std::uint8_t search_starts[kBz2MaxGroups][1 << kStartBits];
    for (std::int32_t g = 0; g < group_count; ++g)
        BuildSearchStarts(decoder->groups[g], search_starts[g]);
    const std::uint8_t* starts = nullptr;
    std::uint32_t start_shift = 0;
    const std::int32_t* limit = nullptr;
    const std::int32_t* base = nullptr;
    const std::int32_t* symbols = nullptr;
    std::uint32_t longest = 0;
    // A data error leaves the record Failed, so those returns skip storing the reader back.
    for (;;) {
        if (left_in_span == 0) {
            if (selector_index == selector_count)
                return Bz2DataError;
            const std::uint8_t g = decoder->selectors[selector_index++];
            const Bz2HuffmanGroup& group = decoder->groups[g];
            starts = search_starts[g];
            limit = group.code_limit;
            base = group.code_base;
            symbols = group.code_symbols;
            longest = static_cast<std::uint32_t>(group.longest_code);
            start_shift = group.longest_code > kStartBits
                              ? static_cast<std::uint32_t>(group.longest_code - kStartBits)
                              : 0;
            left_in_span = kSymbolsPerSelector;
        }
        --left_in_span;

        // Take longest_code bits at once, then give back what the code did not use.
        if (bits < longest) {
            while (bits <= 56 && input_pos < input_count) {
                holder = holder << 8 | input[input_pos++];
                bits += 8;
            }
            if (bits < longest) {
                decoder->bit_holder = static_cast<std::uint32_t>(holder);
                decoder->bit_count = bits;
                decoder->input_pos = input_pos;
                Bz2ReadBits(decoder, longest); // throws: the input is used up
            }
        }
        bits -= longest;
        const std::uint32_t code =
            static_cast<std::uint32_t>(holder >> bits) & ((1u << longest) - 1);
        std::uint32_t length = starts[code >> start_shift];
        while (static_cast<std::int32_t>(code) > limit[length - 1])
            ++length;
        if (length > longest)
            return Bz2DataError;
        bits += longest - length;
        const std::int32_t index =
            static_cast<std::int32_t>(code >> (longest - length)) - base[length - 1];
        if (index < 0 || index >= kBz2MaxSymbols)
            return Bz2DataError;
        const std::int32_t symbol = symbols[index];

        if (symbol <= 1) { // run digits, weights 1, 2, 4, ... (symbol 1 counts twice)
            if (run_weight == 0) {
                run_weight = 1;
                run_length = 0;
            }
            run_length += run_weight << symbol;
            run_weight <<= 1;
            if (run_length > capacity)
                return Bz2DataError;
            continue;
        }
        if (run_weight != 0) {
            if (count + run_length >= capacity)
                return Bz2DataError;
            const std::uint8_t byte = front_list[0];
            std::fill(block + count, block + count + run_length, byte);
            byte_counts[byte] += static_cast<std::uint32_t>(run_length);
            count += run_length;
            run_weight = 0;
        }
        if (symbol > used_count)
            break; // end of block
        if (count >= capacity)
            return Bz2DataError;
        const std::uint8_t byte = MoveToFront(front_list, symbol - 1);
        block[count++] = byte;
        byte_counts[byte] += 1;
    }
    for (; bits > 32; bits -= 8) { // the record's holder keeps at most 32 bits
        holder >>= 8;
        --input_pos;
    }
    decoder->bit_holder = static_cast<std::uint32_t>(holder);
    decoder->bit_count = bits;
    decoder->input_pos = input_pos;
    *byte_count = count;
    return Bz2Ok;
}
