// The steps of one update run and the state they share. All of it lives for one call
// of RunFirmwareUpdate.
#pragma once
#include "payload/device_record.h"
#include "usb/usb_library.h"

#include <cstdint>

struct UpdateImage {
    const std::uint8_t* bytes; // the stored blob, or the buffer decoded from it
    std::uint32_t size;
    std::uint8_t* decoded; // owned by the run until released; null for a stored blob
};

struct UpdateRun {
    UpdateImage images[kMaxImages];
    std::int32_t image_count;
    std::uint32_t work_total; // progress units of the whole run
    std::uint32_t work_done;
    std::int32_t bootloader_version;
};

enum ResetWaitState : std::int32_t {
    WaitingForDisconnect,
    WaitingForReconnect,
    Reconnected,
};

// Fills the image table, decoding compressed images, and sums work_total. 0, or -1
// when an image cannot be decoded (buffers decoded so far stay in the table).
std::int32_t PrepareImages(const ImageEntry images[kMaxImages], UpdateRun* run);

// Frees every decoded buffer the table still holds.
void ReleaseImages(UpdateRun* run);

// Checks that the module still answers, reads its bootloader version and unlocks its
// flash. The bootloader version, or -1 (the link is closed when the module is gone).
std::int32_t CheckModule();

// Writes and verifies every image in list order, releasing each decoded buffer once
// its image is written. 0, or -1 at the first image that fails.
std::int32_t WriteImages(const ImageEntry images[kMaxImages], UpdateRun* run);

// Counts the modules present, then sends the restart request. The count, or -1 when
// the request could not be sent.
std::int32_t RequestRestart();

// Polls the USB device list until the module has left and come back. 0, or -1 when it
// has not within the wait.
std::int32_t WaitForReset(std::int32_t present_before);

// Modules with the module's USB identity in the system's device list.
std::int32_t CountPresentModules();

// Closes DeviceHandle and forgets it; the library's status.
SiStatus CloseDevice();
