#include "payload/bz2_decoder.h"

std::uint32_t Bz2ReadBits(Bz2Decoder* decoder, std::uint32_t count) {
    std::uint32_t result = 0;
    while (decoder->bit_count < count) {
        if (decoder->input_pos == decoder->input_count)
            throw Bz2InputEndedAbort{};
        if (decoder->bit_count > 23) {
            // No room for another byte: the buffered bits become the top of the result.
            const std::uint32_t buffered = decoder->bit_count;
            result = (decoder->bit_holder & (0xFFFFFFFFu >> (32 - buffered))) << (count - buffered);
            count -= buffered;
            decoder->bit_count = 0;
        }
        decoder->bit_holder = decoder->bit_holder << 8 | decoder->input_area[decoder->input_pos];
        decoder->input_pos += 1;
        decoder->bit_count += 8;
    }
    decoder->bit_count -= count;
    return result | ((decoder->bit_holder >> decoder->bit_count) & (0xFFFFFFFFu >> (32 - count)));
}
