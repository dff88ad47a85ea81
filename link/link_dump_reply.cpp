#include "link/link.h"
#include "link/trace.h"

std::int32_t LinkDumpReply(SiHandle handle, const LinkWait& wait) {
    std::uint8_t reply[kReplyBufferSize];
    const std::int32_t result = LinkAwaitReply(handle, kReplyBufferSize, reply, wait);
    Trace("read %d bytes: ", result);
    for (std::int32_t i = 0; i < result; ++i)
        Trace("%02x ", reply[i]);
    Trace("\n");
    return result;
}
