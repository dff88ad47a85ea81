#include "update/firmware_update.h"
#include "update/pause.h"
#include "update/update_steps.h"
#include "usb/usb_library.h"

namespace {

// Everything before the restart request: the part of the run that may hold decoded
// buffers.
std::int32_t WriteFirmware(const ImageEntry images[kMaxImages], UpdateRun* run) {
    if (PrepareImages(images, run) != 0)
        return -1;
    run->bootloader_version = CheckModule();
    if (run->bootloader_version < 0)
        return -1;
    return WriteImages(images, run);
}

} // namespace

std::int32_t RunFirmwareUpdateWith(const ImageEntry images[kMaxImages]) {
    if (DeviceHandle == nullptr)
        return -2;
    UpdateRun run{};
    const std::int32_t written = WriteFirmware(images, &run);
    ReleaseImages(&run); // whatever an early end left behind
    if (written != 0)
        return -1;
    BeginFinePauses();
    const std::int32_t present_before = RequestRestart();
    const std::int32_t result = present_before < 0 ? -1 : WaitForReset(present_before);
    EndFinePauses();
    return result;
}

std::int32_t RunFirmwareUpdate() {
    return RunFirmwareUpdateWith(device_record.images);
}
