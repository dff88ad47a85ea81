#include "link/link.h"
#include "link/trace.h"

void LinkDumpReply(SiHandle handle) {
    std::uint8_t reply[kReplyBufferSize];
    const std::int32_t result = LinkReceive(handle, kReplyBufferSize, reply);
    Trace("read %d bytes: ", result);
    for (std::int32_t i = 0; i < result; ++i)
        Trace("%02x ", reply[i]);
    Trace("\n");
}
