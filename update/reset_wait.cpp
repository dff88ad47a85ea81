#include "link/progress.h"
#include "link/trace.h"
#include "update/pause.h"
#include "update/update_steps.h"

namespace {
constexpr std::int32_t kPollMs = 10;        // elapsed_ms counts polls, it never reads a clock
constexpr std::int32_t kLastPollMs = 44990; // the 4 500th poll
constexpr std::int32_t kPresentLinePeriodMs = 1000;
constexpr std::int32_t kDisconnectedProgress = 99;
constexpr std::int32_t kReconnectedProgress = 100;

void TraceClosedHandle(SiStatus status) {
    Trace("handle closed - status %x\n", static_cast<unsigned>(status));
}

// At most one transition per poll; only the count is compared, so any module of the
// same identity leaving or arriving counts as well.
ResetWaitState ApplyTransition(ResetWaitState state, std::int32_t present_before,
                               std::int32_t present_now, std::int32_t elapsed_ms) {
    if (state == WaitingForDisconnect && present_now == present_before - 1) {
        SetProgress(kDisconnectedProgress);
        Trace("  %d Norv USB device present, %d ms\r", present_now, elapsed_ms);
        Trace("\ndevice reset in progress\n");
        // The module's handle died with it; it must not be used again.
        TraceClosedHandle(CloseDevice());
        TraceFlush();
        return WaitingForReconnect;
    }
    if (state == WaitingForReconnect && present_now == present_before) {
        Trace("  %d Norv USB device present, %d ms\r", present_now, elapsed_ms);
        Trace("\ndevice reappeared at USB\n");
        Trace("device rebooted & programming done\n");
        TraceFlush();
        SetProgress(kReconnectedProgress);
        return Reconnected;
    }
    return state;
}

} // namespace

std::int32_t WaitForReset(std::int32_t present_before) {
    ResetWaitState state = WaitingForDisconnect;
    for (std::int32_t elapsed_ms = 0;; elapsed_ms += kPollMs) {
        const std::int32_t present_now = CountPresentModules();
        state = ApplyTransition(state, present_before, present_now, elapsed_ms);
        if ((elapsed_ms + kPollMs) % kPresentLinePeriodMs == 0) {
            Trace("  %d Norv USB device present, %d ms\r", present_now, elapsed_ms + kPollMs);
            TraceFlush();
        }
        if (state == Reconnected) {
            PauseMs(static_cast<std::uint32_t>(kPollMs));
            return 0;
        }
        if (elapsed_ms == kLastPollMs) {
            Trace("\nwait for device reset failed!\n");
            if (DeviceHandle != nullptr)
                TraceClosedHandle(CloseDevice());
            TraceFlush();
            return -1;
        }
        PauseMs(static_cast<std::uint32_t>(kPollMs));
    }
}
