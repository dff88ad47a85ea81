#include "payload/bz2_decoder.h"

std::int32_t Bz2Read(Bz2Decoder* decoder, std::uint8_t* output, std::int32_t n) {
    if (decoder->bytes_left < 0)
        return decoder->bytes_left;
    if (n < 0)
        n = 0; // asks for nothing
    const std::uint32_t* const crc_table = decoder->crc_table;
    // Only the very first call owes no copies; it starts with a block instead of ending one.
    bool first_call = decoder->pending_copies == 0;
    std::int32_t pending = decoder->pending_copies;
    std::uint32_t current = static_cast<std::uint32_t>(decoder->current_byte);
    std::uint32_t chain_pos = static_cast<std::uint32_t>(decoder->chain_pos);
    std::int32_t bytes_left = decoder->bytes_left;
    std::int32_t countdown = decoder->run_countdown;
    std::uint32_t crc = decoder->block_crc;
    std::int32_t placed = 0;
    for (;;) {
        // Copies of the current byte still owed; those that do not fit wait for the next call.
        const std::int32_t copies = pending < n - placed ? pending : n - placed;
        for (std::int32_t i = 0; i < copies; ++i) {
            output[placed + i] = static_cast<std::uint8_t>(current);
            crc = crc << 8 ^ crc_table[(crc >> 24) ^ current];
        }
        placed += copies;
        pending -= copies;
        if (pending > 0) {
            decoder->pending_copies = pending;
            decoder->current_byte = static_cast<std::int32_t>(current);
            decoder->chain_pos = static_cast<std::int32_t>(chain_pos);
            decoder->bytes_left = bytes_left;
            decoder->run_countdown = countdown;
            decoder->block_crc = crc;
            return n;
        }

        if (bytes_left == 0) {
            if (!first_call) {
                crc = ~crc;
                decoder->stream_crc = (decoder->stream_crc << 1 | decoder->stream_crc >> 31) ^ crc;
                if (crc != decoder->stored_crc) {
                    decoder->stream_crc = decoder->stored_crc + 1;
                    decoder->bytes_left = Bz2EndOfStream;
                    return Bz2EndOfStream;
                }
            }
            first_call = false;
            const std::int32_t status = Bz2DecodeBlock(decoder);
            if (status != Bz2Ok) {
                decoder->bytes_left = status;
                return status == Bz2EndOfStream ? placed : status;
            }
            current = static_cast<std::uint32_t>(decoder->current_byte);
            chain_pos = static_cast<std::uint32_t>(decoder->chain_pos);
            bytes_left = decoder->bytes_left;
            countdown = decoder->run_countdown;
            crc = 0xFFFFFFFF;
            continue;
        }

        // Follow the chain, placing plain bytes directly, until a repeat count, the block's
        // last byte or a full buffer; the byte fetched then is left owed. Four equal bytes
        // are followed by a count of further copies of that byte.
        const std::uint32_t* const block = decoder->block_buffer;
        std::uint32_t previous = current;
        for (;;) {
            const std::uint32_t entry = block[chain_pos];
            current = entry & 0xFF;
            chain_pos = entry >> 8;
            --bytes_left;
            if (--countdown == 0) {
                pending = static_cast<std::int32_t>(current);
                current = previous;
                countdown = 5;
                break;
            }
            countdown = current != previous ? 4 : countdown;
            if (placed == n || bytes_left == 0) {
                pending = 1;
                break;
            }
            output[placed++] = static_cast<std::uint8_t>(current);
            crc = crc << 8 ^ crc_table[(crc >> 24) ^ current];
            previous = current;
        }
    }
}
