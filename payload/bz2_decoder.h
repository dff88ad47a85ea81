// Pull decoder for one bzip2 stream held in memory, and the two drivers that run it to
// completion. The decoder keeps no state outside its record.
#pragma once
#include <cstdint>

// Statuses of Bz2Begin, Bz2DecodeBlock and Bz2Read.
inline constexpr std::int32_t Bz2Ok = 0;
inline constexpr std::int32_t Bz2EndOfStream = -1; // also after a block whose CRC failed
inline constexpr std::int32_t Bz2NotBzip2 = -2;
inline constexpr std::int32_t Bz2InputEnded = -3;
inline constexpr std::int32_t Bz2DataError = -5; // also: no memory for the record or block
inline constexpr std::int32_t Bz2Randomised = -7;

// Results of Bz2DecodeToBuffer.
inline constexpr std::int32_t Bz2BufferTooSmall = -7; // no room for the next 4096-byte step
inline constexpr std::int32_t Bz2CrcMismatch = -8;
inline constexpr std::int32_t Bz2DecodeFailed = -10;

inline constexpr int kBz2MaxGroups = 6;
inline constexpr int kBz2MaxCodeLength = 20;
inline constexpr int kBz2MaxSymbols = 258;
inline constexpr int kBz2MaxSelectors = 32768;

// Canonical Huffman decoding tables of one group; lengths index the tables as [length - 1].
struct Bz2HuffmanGroup {
    // Largest value the next longest_code bits may have for a code of each length 1..21;
    // the slot after longest_code holds 0x7FFFFFFF.
    std::int32_t code_limit[kBz2MaxCodeLength + 1];
    // Subtracted from a code of each length 1..20 to get its place in code_symbols.
    std::int32_t code_base[kBz2MaxCodeLength];
    std::int32_t code_symbols[kBz2MaxSymbols]; // in canonical code order
    std::int32_t shortest_code;
    std::int32_t longest_code;
};

// An input that runs out in the middle of a step throws Bz2InputEndedAbort from
// Bz2ReadBits; Bz2Begin and Bz2DecodeBlock catch it and return Bz2InputEnded, and the
// step's partial work is never used.
struct Bz2InputEndedAbort {};

struct Bz2Decoder {
    std::int32_t pending_copies; // copies of current_byte still owed to the output
    std::int32_t chain_pos;      // block_buffer entry that yields the next byte
    std::int32_t run_countdown;  // reaching 0 makes the next byte a repeat count
    std::int32_t bytes_left;     // chain steps left in the block; negative: final status
    std::int32_t current_byte;
    std::int32_t input_count;
    std::int32_t input_pos;
    const std::uint8_t* input_area; // borrowed from the caller
    std::uint32_t bit_count;        // unread bits, held in the low bits of bit_holder
    std::uint32_t bit_holder;
    std::uint32_t crc_table[256];
    std::uint32_t stored_crc; // of the latest block header, or of the end-of-stream marker
    std::uint32_t stream_crc; // combined CRC of the blocks completed so far
    std::uint32_t block_crc;
    // One entry per byte of the block: the byte in bits 0-7, the index of the entry that
    // follows it in output order in bits 8-31.
    std::uint32_t* block_buffer;
    std::int32_t block_capacity; // 100 000 x the level digit
    std::uint8_t selectors[kBz2MaxSelectors];
    Bz2HuffmanGroup groups[kBz2MaxGroups];
};

// Allocates and zeroes a record over `input` (borrowed until the record is released) and
// reads the stream header. The record is handed out through `decoder` whatever the status
// (null only when it could not be allocated); after a status other than Bz2Ok it may only
// be released. Returns Bz2Ok, Bz2NotBzip2, Bz2InputEnded or Bz2DataError (no memory).
std::int32_t Bz2Begin(Bz2Decoder** decoder, const std::uint8_t* input, std::uint32_t length);

// Places up to n decoded bytes at the start of `output`. Returns n when the buffer is full;
// the call that reaches the end-of-stream marker returns the bytes placed so far (0..n) and
// every later call Bz2EndOfStream. Any other status is returned by the call that meets it
// and by every later one. Success of a whole decoding is Bz2EndOfStream together with
// stored_crc == stream_crc.
std::int32_t Bz2Read(Bz2Decoder* decoder, std::uint8_t* output, std::int32_t n);

// Reads the next block into block_buffer and links it for output, or reads the
// end-of-stream marker (Bz2EndOfStream).
std::int32_t Bz2DecodeBlock(Bz2Decoder* decoder);

// Reads `count` (1..32) bits, most significant first; throws Bz2InputEndedAbort when the
// input is used up.
std::uint32_t Bz2ReadBits(Bz2Decoder* decoder, std::uint32_t count);

// Frees the block buffer and then the record; null is allowed.
void Bz2Release(Bz2Decoder* decoder);

// Decodes a whole stream into `destination` in steps of 4096 bytes; every step, the one
// that only meets the end included, needs 4096 bytes of room. Returns 0,
// Bz2BufferTooSmall, Bz2CrcMismatch or Bz2DecodeFailed.
std::int32_t Bz2DecodeToBuffer(const std::uint8_t* source, std::uint32_t source_length,
                               std::uint8_t* destination, std::uint32_t capacity);

// Decodes a whole stream into a new buffer grown by 65 536 bytes at a time. Returns the
// buffer (the caller frees it with std::free) and stores its length through `length`, or
// returns null and leaves `length` alone.
std::uint8_t* Bz2DecodeToHeap(const std::uint8_t* source, std::uint32_t source_length,
                              std::uint32_t* length);
