// The device scan of native tests: the simulated bus's present modules, as the
// system's device list would show them.
#include "sim/inprocess/sim_door.h"
#include "sim/model/usb_identity.h"
#include "usb/usb_scan.h"
#include <cstring>
#include <new>

namespace {

void CopyText(char (&field)[kUsbTextSize], const char* text) {
    std::strncpy(field, text, kUsbTextSize - 1);
    field[kUsbTextSize - 1] = '\0';
}

} // namespace

std::int32_t ScanUsbDevices(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t* count) {
    *count = 0;
    entries[0] = nullptr;
    const SimBus* bus = SimDoorBus();
    if (!bus)
        return 0;
    for (const SimModule& module : bus->modules) {
        if (!module.present)
            continue;
        if (*count == kMaxUsbDevices)
            break;
        UsbDeviceEntry* entry = new (std::nothrow) UsbDeviceEntry{};
        if (!entry)
            continue; // the count covers complete entries only
        CopyText(entry->hardware_id, kSimHardwareId);
        CopyText(entry->location_info, module.config.location.c_str());
        CopyText(entry->device_desc, SimDeviceDescription(module));
        entries[(*count)++] = entry;
    }
    return 0;
}
