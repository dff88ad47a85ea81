#include "update/update_steps.h"
#include "usb/usb_scan.h"

std::int32_t CountPresentModules() {
    UsbDeviceEntry* entries[kMaxUsbDevices] = {};
    std::int32_t count = 0;
    ScanUsbDevices(entries, &count);
    FreeUsbDeviceEntries(entries, count);
    return count;
}
