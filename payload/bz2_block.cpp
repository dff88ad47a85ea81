#include "payload/bz2_block_stages.h"

namespace {

constexpr std::uint32_t kBlockMarkerHigh = 0x314159;
constexpr std::uint32_t kBlockMarkerLow = 0x265359;
constexpr std::uint32_t kEndMarkerHigh = 0x177245;
constexpr std::uint32_t kEndMarkerLow = 0x385090;

// Byte map: 16 ranges of 16 byte values, each present range with a 16-bit mask.
std::int32_t ReadByteMap(Bz2Decoder* d, std::uint8_t* byte_map) {
    std::int32_t used = 0;
    const std::uint32_t ranges = Bz2ReadBits(d, 16);
    for (std::uint32_t r = 0; r < 16; ++r) {
        if ((ranges & (0x8000u >> r)) == 0)
            continue;
        const std::uint32_t present = Bz2ReadBits(d, 16);
        for (std::uint32_t i = 0; i < 16; ++i)
            if ((present & (0x8000u >> i)) != 0)
                byte_map[used++] = static_cast<std::uint8_t>(16 * r + i);
    }
    return used;
}

std::int32_t ReadSelectors(Bz2Decoder* d, std::int32_t group_count, std::int32_t selector_count) {
    std::uint8_t list[kBz2MaxGroups] = {0, 1, 2, 3, 4, 5};
    for (std::int32_t s = 0; s < selector_count; ++s) {
        std::int32_t position = 0;
        while (Bz2ReadBits(d, 1) != 0)
            if (++position >= group_count)
                return Bz2DataError;
        const std::uint8_t group = list[position];
        for (; position > 0; --position)
            list[position] = list[position - 1];
        list[0] = group;
        d->selectors[s] = group;
    }
    return Bz2Ok;
}

// Each group: a 5-bit start length, then per symbol deltas (10 = +1, 11 = -1) ended by a 0.
std::int32_t ReadGroupTables(Bz2Decoder* d, std::int32_t group_count, std::int32_t symbol_count) {
    std::uint8_t code_lengths[kBz2MaxSymbols];
    for (std::int32_t g = 0; g < group_count; ++g) {
        std::int32_t length = static_cast<std::int32_t>(Bz2ReadBits(d, 5));
        for (std::int32_t s = 0; s < symbol_count; ++s) {
            for (;;) {
                if (length < 1 || length > kBz2MaxCodeLength)
                    return Bz2DataError;
                const std::uint32_t delta = Bz2ReadBits(d, 2);
                if ((delta & 2) == 0) {
                    d->bit_count += 1; // the second bit belongs to what follows
                    break;
                }
                length += (delta & 1) == 0 ? 1 : -1;
            }
            code_lengths[s] = static_cast<std::uint8_t>(length);
        }
        Bz2BuildHuffmanGroup(&d->groups[g], code_lengths, symbol_count);
    }
    return Bz2Ok;
}

std::int32_t DecodeBlock(Bz2Decoder* d) {
    const std::uint32_t marker_high = Bz2ReadBits(d, 24);
    const std::uint32_t marker_low = Bz2ReadBits(d, 24);
    d->stored_crc = Bz2ReadBits(d, 32);
    if (marker_high == kEndMarkerHigh && marker_low == kEndMarkerLow)
        return Bz2EndOfStream;
    if (marker_high != kBlockMarkerHigh || marker_low != kBlockMarkerLow)
        return Bz2NotBzip2;
    if (Bz2ReadBits(d, 1) != 0)
        return Bz2Randomised;
    const std::int32_t origin = static_cast<std::int32_t>(Bz2ReadBits(d, 24));
    if (origin > d->block_capacity)
        return Bz2DataError;

    std::uint8_t byte_map[256] = {};
    const std::int32_t used_count = ReadByteMap(d, byte_map);
    const std::int32_t group_count = static_cast<std::int32_t>(Bz2ReadBits(d, 3));
    if (group_count < 2 || group_count > kBz2MaxGroups)
        return Bz2DataError;
    const std::int32_t selector_count = static_cast<std::int32_t>(Bz2ReadBits(d, 15));
    if (selector_count == 0)
        return Bz2DataError;
    std::int32_t status = ReadSelectors(d, group_count, selector_count);
    if (status != Bz2Ok)
        return status;
    status = ReadGroupTables(d, group_count, used_count + 2);
    if (status != Bz2Ok)
        return status;
    std::int32_t byte_count = 0;
    std::uint32_t byte_counts[256] = {};
    status = Bz2DecodeSymbols(d, byte_map, used_count, group_count, selector_count, &byte_count,
                              byte_counts);
    if (status != Bz2Ok)
        return status;
    if (byte_count > 0 && origin >= byte_count)
        return Bz2DataError;

    Bz2LinkBlock(d->block_buffer, byte_count, byte_counts);
    if (byte_count > 0) {
        // The origin entry holds the block's last byte, which only precedes its first.
        const std::uint32_t entry = d->block_buffer[origin];
        d->current_byte = static_cast<std::int32_t>(entry & 0xFF);
        d->chain_pos = static_cast<std::int32_t>(entry >> 8);
        d->run_countdown = 5;
    }
    d->bytes_left = byte_count;
    return Bz2Ok;
}

} // namespace

std::int32_t Bz2DecodeBlock(Bz2Decoder* decoder) {
    try {
        return DecodeBlock(decoder);
    } catch (const Bz2InputEndedAbort&) {
        return Bz2InputEnded;
    }
}
