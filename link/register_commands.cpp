#include "link/deadlines.h"
#include "link/flash_commands.h"
#include "link/link.h"
#include "link/trace.h"

namespace {
constexpr std::uint32_t kBootloaderReplyCapacity = 32;
constexpr std::int32_t kBootloaderVersionAt = 7;
constexpr std::uint8_t kUnlockValue = 0x03;
} // namespace

std::int32_t ReadBootloaderVersion(SiHandle handle) {
    Trace("Reading from register 0x%x\n", static_cast<unsigned>(kBootloaderRegister));
    if (LinkSend(handle, kBootloaderRegister, AccessRead, 0, nullptr) != 0)
        return -1;
    std::uint8_t reply[kReplyBufferSize];
    // A reply too short to hold the version would otherwise pick the checksum slot
    // of the microcontroller image from stale bytes.
    if (LinkAwaitReply(handle, kBootloaderReplyCapacity, reply,
                       {"bootloader version reply", kReplyDeadlineS}) <= kBootloaderVersionAt)
        return -2;
    return reply[kBootloaderVersionAt] & 0x7F;
}

std::int32_t UnlockFlash(SiHandle handle) {
    Trace("Unlocking spiflash for write access.\n");
    const std::uint8_t payload[] = {kUnlockValue};
    if (LinkSend(handle, kUnlockRegister, AccessWrite, sizeof payload, payload) != 0)
        return -1;
    // The reply's content is never examined; one that never comes means the module or
    // the link is gone, and coming late it would pass for the next request's.
    std::uint8_t reply[kReplyBufferSize];
    if (LinkNoReply(
            LinkAwaitReply(handle, kReplyBufferSize, reply, {"unlock reply", kReplyDeadlineS})))
        return -2;
    return 0;
}
