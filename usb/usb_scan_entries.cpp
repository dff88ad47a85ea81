#include "usb/usb_scan.h"

#include <cstring>

void FreeUsbDeviceEntries(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        delete entries[i];
        entries[i] = nullptr;
    }
}

bool AnyDriverBound(UsbDeviceEntry* const entries[kMaxUsbDevices], std::int32_t count) {
    bool bound = false;
    for (std::int32_t i = 0; i < count; ++i) {
        if (std::strcmp(entries[i]->device_desc, kDriverDeviceDescription) == 0)
            bound = true;
    }
    return bound;
}
