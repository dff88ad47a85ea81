#include "link/deadlines.h"
#include "link/flash_commands.h"
#include "link/link.h"
#include "link/trace.h"
#include "update/pause.h"
#include "update/update_steps.h"

namespace {
constexpr std::uint32_t kProbeReplyPauseMs = 100;
} // namespace

std::int32_t CheckModule() {
    LinkSetTimeouts(kReplyDeadlineS);

    // The probe's reply is only looked for, not examined: a module that answers at all
    // is still there.
    LinkSend(DeviceHandle, kVersionRegister, AccessRead, 0, nullptr);
    PauseMs(kProbeReplyPauseMs);
    std::uint32_t bytes_in_queue = 0;
    std::uint32_t queue_status = 0;
    const SiStatus status =
        usb_library.SI_CheckRXQueue(DeviceHandle, &bytes_in_queue, &queue_status);
    if (status != 0 || (queue_status & SI_RX_READY) == 0) {
        Trace("Device handle died!\n");
        TraceFlush();
        CloseDevice();
        return -1;
    }
    LinkDumpReply(DeviceHandle, {"probe reply", kReplyDeadlineS});
    TraceFlush();

    const std::int32_t bootloader_version = ReadBootloaderVersion(DeviceHandle);
    if (bootloader_version < 0) {
        Trace("Could not get bootloader version.\n");
        TraceFlush();
        return -1;
    }
    Trace("Bootloader version: %d\n", bootloader_version);
    // Unanswered, the unlock leaves a module or link that is gone.
    if (UnlockFlash(DeviceHandle) < 0) {
        Trace("Could not unlock the flash.\n");
        TraceFlush();
        return -1;
    }
    TraceFlush();
    return bootloader_version;
}
