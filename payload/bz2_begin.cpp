#include "payload/bz2_decoder.h"

#include <climits>
#include <cstdlib>

namespace {

constexpr std::uint32_t kCrcPolynomial = 0x04C11DB7;
constexpr std::uint32_t kSignature = 0x425A68; // "BZh"
constexpr std::int32_t kBlockUnit = 100000;

void BuildCrcTable(std::uint32_t* table) {
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) != 0 ? value << 1 ^ kCrcPolynomial : value << 1;
        table[i] = value;
    }
}

std::int32_t ReadHeader(Bz2Decoder* decoder) {
    try {
        const std::uint32_t header = Bz2ReadBits(decoder, 32);
        const std::uint32_t digit = header & 0xFF;
        if (header >> 8 != kSignature || digit < '1' || digit > '9')
            return Bz2NotBzip2;
        decoder->block_capacity = kBlockUnit * static_cast<std::int32_t>(digit - '0');
        return Bz2Ok;
    } catch (const Bz2InputEndedAbort&) {
        return Bz2InputEnded;
    }
}

} // namespace

std::int32_t Bz2Begin(Bz2Decoder** decoder, const std::uint8_t* input, std::uint32_t length) {
    Bz2Decoder* d = static_cast<Bz2Decoder*>(std::calloc(1, sizeof(Bz2Decoder)));
    *decoder = d;
    if (d == nullptr)
        return Bz2DataError;
    d->input_area = input;
    // Positions are 32-bit signed: a longer block is read as far as they reach.
    d->input_count = length > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(length);
    BuildCrcTable(d->crc_table);
    std::int32_t status = ReadHeader(d);
    if (status == Bz2Ok) {
        d->block_buffer = static_cast<std::uint32_t*>(
            std::malloc(static_cast<std::size_t>(d->block_capacity) * sizeof(std::uint32_t)));
        if (d->block_buffer == nullptr)
            status = Bz2DataError;
    }
    // A failed record stays failed should anyone read from it.
    if (status != Bz2Ok)
        d->bytes_left = status;
    return status;
}

void Bz2Release(Bz2Decoder* decoder) {
    if (decoder == nullptr)
        return;
    std::free(decoder->block_buffer);
    std::free(decoder);
}
