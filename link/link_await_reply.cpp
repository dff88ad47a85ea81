#include "link/deadlines.h"
#include "link/link.h"
#include "link/trace.h"

namespace {
constexpr std::uint32_t kMsPerSecond = 1000;

// The read time-out last given to the library; it is changed only for the erase's longer
// wait, so the library hears of it a few times per update rather than once per reply.
std::uint32_t read_deadline_set_s = 0;
} // namespace

void LinkSetTimeouts(std::uint32_t read_deadline_s) {
    usb_library.SI_SetTimeouts(read_deadline_s * kMsPerSecond, kWriteDeadlineS * kMsPerSecond);
    read_deadline_set_s = read_deadline_s;
}

std::int32_t LinkAwaitReply(SiHandle handle, std::uint32_t capacity, std::uint8_t* buffer,
                            const LinkWait& wait) {
    if (wait.deadline_s != read_deadline_set_s)
        LinkSetTimeouts(wait.deadline_s);
    const std::int32_t received = LinkReceive(handle, capacity, buffer);
    if (received == -SI_READ_TIMED_OUT) {
        Trace("deadline passed: no %s within %u s\n", wait.step,
              static_cast<unsigned>(wait.deadline_s));
        TraceFlush();
    }
    return received;
}

bool LinkNoReply(std::int32_t received) {
    return received < 0 && received != LinkOverCapacity && received != LinkNoEndMarker &&
           received != LinkBadChecksum;
}
