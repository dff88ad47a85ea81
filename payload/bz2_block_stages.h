// The stages of Bz2DecodeBlock after the block header, each in its own file.
#pragma once
#include "payload/bz2_decoder.h"

// Fills a group's limit, base and symbol tables from the code lengths (1..20) of its
// `symbol_count` symbols.
void Bz2BuildHuffmanGroup(Bz2HuffmanGroup* group, const std::uint8_t* code_lengths,
                          std::int32_t symbol_count);

// Decodes the block's Huffman symbols, undoes the move-to-front and run coding, and stores
// the block's bytes in block_buffer, counting each byte value in byte_counts. `byte_map`
// holds 256 entries, the first `used_count` of them the block's byte values; the first
// `group_count` groups hold the block's tables.
// Returns Bz2Ok or Bz2DataError; throws Bz2InputEndedAbort when the input ends.
std::int32_t Bz2DecodeSymbols(Bz2Decoder* decoder, const std::uint8_t* byte_map,
                              std::int32_t used_count, std::int32_t group_count,
                              std::int32_t selector_count, std::int32_t* byte_count,
                              std::uint32_t* byte_counts);

// Inverse transform: ORs into each entry of the block, in sorted order, the index of the
// entry that follows it in output order.
void Bz2LinkBlock(std::uint32_t* block, std::int32_t byte_count, const std::uint32_t* byte_counts);
