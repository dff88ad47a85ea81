// The firmware update: prepares the record's images, checks the module opened at
// start-up, writes and verifies every image, asks the module to restart and waits
// for it to leave the USB device list and come back.
#pragma once
#include "payload/device_record.h"

#include <cstdint>

// 0: every image written and verified, the module restarted and reappeared.
// -2: no open device on entry, nothing done. -1: any other failure.
std::int32_t RunFirmwareUpdate();

// The same run over another image list (ended by an entry whose data is null);
// RunFirmwareUpdate passes the device record's.
std::int32_t RunFirmwareUpdateWith(const ImageEntry images[kMaxImages]);
