// Decoder test support: crafted bzip2 streams (faithful codings of small blocks, with knobs
// that break one field at a time) and runs of the decoder over a stream.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// One block. By default the faithful coding of `content`: the block's bytes before the
// final run expansion (four equal bytes are followed by a count of further copies).
struct TestBlock {
    Bytes content;
    // When not empty: symbols written as they are, with `used_bytes` as the byte map,
    // instead of the coding of `content` (origin and CRC then default to 0).
    std::vector<int> symbols;
    Bytes used_bytes;
    int group_count = 2; // the field as written; tables are written for 2..6 groups
    // Selectors written (position 0 past those needed); by default the number needed.
    std::optional<int> selector_count;
    std::optional<int> first_selector_position;
    std::vector<int> first_length_walk; // +1/-1 steps before the first code length
    bool randomised = false;
    std::optional<std::uint32_t> origin;
    std::optional<std::uint32_t> crc;
    std::uint32_t marker_low = 0x265359;
};

struct TestStream {
    char level = '9';
    std::vector<TestBlock> blocks;
    std::optional<std::uint32_t> stream_crc;
};

Bytes BuildStream(const TestStream& stream);

// What the decoder outputs for a block's content.
Bytes ExpandRuns(const Bytes& content);

// The format's CRC-32 (most significant bit first), computed bit by bit.
std::uint32_t BzipCrc(const Bytes& bytes);

Bytes ToBytes(const std::string& text);

// A decoding through Bz2Begin and Bz2Read with reads of the given sizes, used in turn.
struct ReadOutcome {
    std::int32_t begin_status = 0;
    std::int32_t final_status = 0; // the first negative Bz2Read result
    bool crc_matches = false;      // stored_crc == stream_crc at the end
    Bytes output;
};
ReadOutcome ReadAll(const Bytes& stream, const std::vector<std::int32_t>& steps = {4096});

// Bz2DecodeToHeap; nullopt when it returns nothing.
std::optional<Bytes> DecodeToHeap(const Bytes& stream);

// Bz2DecodeToBuffer into `destination`, first made `capacity` zero bytes long.
std::int32_t DecodeToBuffer(const Bytes& stream, std::uint32_t capacity, Bytes* destination);

// The least capacity with which the fixed-buffer driver takes an output of `size` bytes:
// the size rounded up to 4096-byte steps, and one step more.
std::uint32_t RoomFor(std::size_t size);

Bytes ReadFile(const std::string& path);
