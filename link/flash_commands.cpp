#include "link/flash_commands.h"
#include "link/deadlines.h"
#include "link/link.h"
#include "link/trace.h"

#include <cstring>

namespace {
constexpr std::uint32_t kTransferHeaderSize = 5; // count, opcode, A2 A1 A0
constexpr std::uint32_t kReadBackCapacity = 250;
constexpr std::uint32_t kReadBackDataAt = 12;

// Count byte, opcode and the 24-bit address, most significant byte first.
void PutTransferHeader(std::uint8_t out[kTransferHeaderSize], std::uint32_t count,
                       std::uint8_t opcode, std::uint32_t address) {
    out[0] = static_cast<std::uint8_t>(count);
    out[1] = opcode;
    out[2] = static_cast<std::uint8_t>(address >> 16);
    out[3] = static_cast<std::uint8_t>(address >> 8);
    out[4] = static_cast<std::uint8_t>(address);
}

std::int32_t SendTransfer(SiHandle handle, const std::uint8_t* payload, std::uint32_t size) {
    return LinkSend(handle, FlashPort, AccessWrite, static_cast<std::uint8_t>(size), payload);
}

// Sends a request and takes its reply, which matters only when it fails.
std::int32_t Exchange(SiHandle handle, const std::uint8_t* payload, std::uint32_t size,
                      const char* step) {
    const std::int32_t sent = SendTransfer(handle, payload, size);
    if (sent != 0)
        return sent;
    std::uint8_t reply[kReplyBufferSize];
    const std::int32_t received =
        LinkAwaitReply(handle, kReplyBufferSize, reply, {step, kReplyDeadlineS});
    return received < 0 ? received : 0;
}

// Fetches the bytes latched by a read command; the reply's result, or -1 when it is too
// short to hold length data bytes.
std::int32_t ReadBack(SiHandle handle, std::uint32_t length, std::uint8_t reply[kReplyBufferSize]) {
    const std::int32_t sent = LinkSend(handle, FlashPort, AccessRead, 0, nullptr);
    if (sent != 0)
        return sent;
    const std::int32_t received =
        LinkAwaitReply(handle, kReadBackCapacity, reply, {"read-back reply", kReplyDeadlineS});
    if (received < 0)
        return received;
    // Bytes past a short reply were never read back; comparing them could pass the chunk.
    if (static_cast<std::uint32_t>(received) < kReadBackDataAt + length)
        return -1;
    return 0;
}
} // namespace

std::int32_t EraseFlashBlock(SiHandle handle, std::uint32_t address) {
    Trace("Erasing address: %06x\n", static_cast<unsigned>(address));
    std::uint8_t payload[kTransferHeaderSize];
    PutTransferHeader(payload, kTransferHeaderSize - 1, kFlashErase, address);
    const std::int32_t sent = SendTransfer(handle, payload, sizeof payload);
    if (sent != 0)
        return sent;
    // The reply's content is never examined, but one that never comes means the module
    // or the link is gone, and coming late it would pass for the next request's.
    const std::int32_t received = LinkDumpReply(handle, {"erase reply", kEraseReplyDeadlineS});
    return LinkNoReply(received) ? received : 0;
}

std::int32_t ProgramFlashChunk(SiHandle handle, std::uint32_t address, std::uint32_t length,
                               const std::uint8_t* data) {
    if (length > kFlashChunkSize)
        return -1;
    std::uint8_t payload[kTransferHeaderSize + kFlashChunkSize];
    PutTransferHeader(payload, sizeof payload - 1, kFlashProgram, address);
    std::memcpy(payload + kTransferHeaderSize, data, length);
    std::memset(payload + kTransferHeaderSize + length, 0xFF, kFlashChunkSize - length);
    return Exchange(handle, payload, sizeof payload, "program reply");
}

std::int32_t VerifyFlashChunk(SiHandle handle, std::uint32_t address, std::uint32_t length,
                              const std::uint8_t* data) {
    std::uint8_t request[kTransferHeaderSize];
    PutTransferHeader(request, kTransferHeaderSize - 1, kFlashRead, address);
    std::uint8_t reply[kReplyBufferSize];
    std::int32_t result = Exchange(handle, request, sizeof request, "read command reply");
    if (result == 0)
        result = ReadBack(handle, length, reply);
    if (result != 0) {
        Trace("Error %d\n", result);
        return result;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint8_t got = reply[kReadBackDataAt + i];
        if (got != data[i]) {
            Trace("%8x got: %02x expected %02x\n", static_cast<unsigned>(address + i), got,
                  data[i]);
            result = -1;
        }
    }
    return result;
}
