#include "payload/bz2_decoder.h"

#include <cstdlib>

namespace {
constexpr std::uint32_t kReadStep = 4096;
constexpr std::uint32_t kHeapGrowth = 65536;

bool StreamCrcMatches(const Bz2Decoder* decoder) {
    return decoder->stored_crc == decoder->stream_crc;
}
} // namespace

std::int32_t Bz2DecodeToBuffer(const std::uint8_t* source, std::uint32_t source_length,
                               std::uint8_t* destination, std::uint32_t capacity) {
    Bz2Decoder* decoder = nullptr;
    std::int32_t result = Bz2DecodeFailed;
    if (Bz2Begin(&decoder, source, source_length) == Bz2Ok) {
        std::uint32_t offset = 0;
        // The room test precedes every read, also the one that only meets the end.
        for (;;) {
            if (capacity - offset < kReadStep) {
                result = Bz2BufferTooSmall;
                break;
            }
            const std::int32_t read = Bz2Read(decoder, destination + offset, kReadStep);
            if (read <= 0) {
                if (read == Bz2EndOfStream)
                    result = StreamCrcMatches(decoder) ? 0 : Bz2CrcMismatch;
                break;
            }
            offset += kReadStep;
        }
    }
    Bz2Release(decoder);
    return result;
}

std::uint8_t* Bz2DecodeToHeap(const std::uint8_t* source, std::uint32_t source_length,
                              std::uint32_t* length) {
    Bz2Decoder* decoder = nullptr;
    std::uint8_t* buffer = nullptr;
    std::int32_t read = Bz2DecodeFailed;
    std::uint32_t produced = 0;
    if (Bz2Begin(&decoder, source, source_length) == Bz2Ok)
        buffer = static_cast<std::uint8_t*>(std::malloc(kHeapGrowth));
    if (buffer != nullptr) {
        std::uint32_t size = kHeapGrowth;
        do {
            const std::uint32_t step = size - produced < kReadStep ? size - produced : kReadStep;
            read = Bz2Read(decoder, buffer + produced, static_cast<std::int32_t>(step));
            if (read > 0)
                produced += static_cast<std::uint32_t>(read);
            if (produced == size) {
                // Lengths are 32-bit: an output that would not fit fails instead of wrapping.
                void* grown = size <= UINT32_MAX - kHeapGrowth
                                  ? std::realloc(buffer, size + kHeapGrowth)
                                  : nullptr;
                if (grown == nullptr) {
                    read = Bz2DecodeFailed;
                    break;
                }
                buffer = static_cast<std::uint8_t*>(grown);
                size += kHeapGrowth;
            }
        } while (read >= 0);
    }
    const bool ok = buffer != nullptr && read == Bz2EndOfStream && StreamCrcMatches(decoder);
    Bz2Release(decoder);
    if (!ok) {
        std::free(buffer);
        return nullptr;
    }
    *length = produced;
    return buffer;
}
