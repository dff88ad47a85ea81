#include "link/link.h"
#include "link/progress.h"
#include "link/trace.h"
#include "update/pause.h"
#include "update/update_steps.h"

namespace {
constexpr std::uint32_t kAfterImagesPauseMs = 100;
constexpr std::int32_t kRestartRequestedProgress = 97;
} // namespace

std::int32_t RequestRestart() {
    PauseMs(kAfterImagesPauseMs);
    const std::int32_t present_before = CountPresentModules();
    SetProgress(kRestartRequestedProgress);
    Trace("check for start of device reset\n");
    Trace("  %d Norv USB device present, %d ms\n", present_before, 0);
    TraceFlush();
    // One byte AA clocked through the flash port; the module answers by restarting, so
    // no reply is read.
    const std::uint8_t restart_request[] = {0x01, 0xAA};
    if (LinkSend(DeviceHandle, FlashPort, AccessWrite, sizeof restart_request, restart_request) !=
        0)
        return -1;
    return present_before;
}
