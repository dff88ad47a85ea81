#include "link/link.h"

#include <algorithm>

namespace {
constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kEscape = 0xFE;
} // namespace

std::int32_t LinkReceive(SiHandle handle, std::uint32_t capacity, std::uint8_t* buffer) {
    std::uint32_t stored = 0;
    bool after_escape = false; // the previous raw byte was FE, carried across chunks
    bool ended = false;
    for (;;) {
        std::uint8_t chunk[kLinkPieceSize] = {};
        std::uint32_t got = 0;
        const SiStatus status = usb_library.SI_Read(handle, chunk, kLinkPieceSize, &got, nullptr);
        if (status != 0)
            return NegatedStatus(status);
        got = std::min(got, kLinkPieceSize); // never trust a count beyond the chunk
        for (std::uint32_t i = 0; i < got && !ended; ++i) {
            const std::uint8_t byte = chunk[i];
            if (after_escape && byte <= 0x01) {
                buffer[stored - 1] = static_cast<std::uint8_t>(kEscape + byte);
            } else {
                if (stored == capacity)
                    return LinkOverCapacity;
                buffer[stored++] = byte;
                // A marker opening a chunk is the start marker, or an end marker that
                // came alone; either way the frame goes on until the chunk runs out.
                ended = byte == kMarker && i > 0;
            }
            after_escape = byte == kEscape;
        }
        if (ended || got < kLinkPieceSize)
            break;
    }
    if (stored < 2 || buffer[stored - 1] != kMarker)
        return LinkNoEndMarker;

    const std::uint32_t checksum_at = stored - 2;
    std::uint8_t sum = 0; // unlike a request's, this sum includes the first body byte
    for (std::uint32_t i = 1; i < checksum_at; ++i)
        sum = static_cast<std::uint8_t>(sum + buffer[i]);
    if (sum != buffer[checksum_at])
        return LinkBadChecksum;
    return static_cast<std::int32_t>(checksum_at);
}
