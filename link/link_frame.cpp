#include "link/deadlines.h"
#include "link/link.h"
#include "link/trace.h"

#include <algorithm>
#include <cstring>

std::uint8_t LinkSequence = 0xAA;

namespace {
constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kEscape = 0xFE;
constexpr std::uint8_t kLastSequence = 0xFD; // FE and FF would need escaping
constexpr std::uint32_t kHeaderSize = 7;
constexpr std::uint32_t kMaxBodySize = 256;

std::uint32_t BuildBody(std::int32_t register_address, std::uint8_t access, std::uint8_t length,
                        const std::uint8_t* payload, std::uint8_t body[kMaxBodySize]) {
    std::uint32_t size = 0;
    if (register_address >= 0) {
        const std::uint8_t header[kHeaderSize] = {
            static_cast<std::uint8_t>(length + kHeaderSize - 1),
            access,
            0x0F,
            0x00,
            0x00,
            LinkSequence,
            static_cast<std::uint8_t>(register_address),
        };
        std::memcpy(body, header, kHeaderSize);
        size = kHeaderSize;
    }
    if (length > 0)
        std::memcpy(body + size, payload, length);
    return size + length;
}

// Raw bodies are sent only by the identification.
void TraceWriteDeadline(std::int32_t register_address) {
    if (register_address < 0)
        Trace("deadline passed: identification request not taken within %u s\n",
              static_cast<unsigned>(kWriteDeadlineS));
    else
        Trace("deadline passed: request to register 0x%02x not taken within %u s\n",
              static_cast<unsigned>(register_address), static_cast<unsigned>(kWriteDeadlineS));
    TraceFlush();
}

void AdvanceSequence() {
    LinkSequence = LinkSequence >= kLastSequence ? 0 : static_cast<std::uint8_t>(LinkSequence + 1);
}
} // namespace

std::uint32_t EscapeByte(std::uint8_t byte, std::uint8_t out[2]) {
    if (byte < kEscape) {
        out[0] = byte;
        return 1;
    }
    out[0] = kEscape;
    out[1] = static_cast<std::uint8_t>(byte - kEscape);
    return 2;
}

std::int32_t LinkSend(SiHandle handle, std::int32_t register_address, std::uint8_t access,
                      std::uint8_t length, const std::uint8_t* payload) {
    // A longer payload would wrap the header's Length byte.
    if (register_address >= 0 && length > kMaxHeadedPayload)
        return LinkPayloadTooLong;

    std::uint8_t body[kMaxBodySize];
    const std::uint32_t body_size = BuildBody(register_address, access, length, payload, body);
    std::uint8_t checksum = 0; // Length is not summed
    for (std::uint32_t i = 1; i < body_size; ++i)
        checksum = static_cast<std::uint8_t>(checksum + body[i]);

    std::uint8_t frame[kMaxFrameSize];
    std::uint32_t frame_size = 0;
    frame[frame_size++] = kMarker;
    for (std::uint32_t i = 0; i < body_size; ++i)
        frame_size += EscapeByte(body[i], frame + frame_size);
    frame_size += EscapeByte(checksum, frame + frame_size);
    frame[frame_size++] = kMarker;

    std::int32_t result = 0;
    for (std::uint32_t offset = 0; offset < frame_size; offset += kLinkPieceSize) {
        const std::uint32_t piece = std::min(kLinkPieceSize, frame_size - offset);
        std::uint32_t written = 0;
        const SiStatus status =
            usb_library.SI_Write(handle, frame + offset, piece, &written, nullptr);
        if (status != 0) {
            result = NegatedStatus(status);
            if (status == SI_WRITE_TIMED_OUT)
                TraceWriteDeadline(register_address);
            break;
        }
    }
    AdvanceSequence();
    return result;
}
