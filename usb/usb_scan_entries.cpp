#include "usb/usb_scan.h"

void FreeUsbDeviceEntries(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        delete entries[i];
        entries[i] = nullptr;
    }
}
