// The attached modules as the system's device manager lists them. On Windows the scan
// walks SetupAPI; native tests link the simulated bus's scan instead.
#pragma once
#include <cstdint>

inline constexpr int kMaxUsbDevices = 32;
inline constexpr int kUsbTextSize = 64;

struct UsbDeviceEntry {
    char hardware_id[kUsbTextSize];
    char location_info[kUsbTextSize];
    char device_desc[kUsbTextSize];
};

// Fills entries[0 .. *count) with entries allocated by new (nothrow) that the caller
// releases with FreeUsbDeviceEntries. 0, or -1 (no device set) / -2 (enumeration error).
std::int32_t ScanUsbDevices(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t* count);

// The description the system gives a module once the carried driver is bound to it.
inline constexpr char kDriverDeviceDescription[] = "NORV USB Controller";

// True when one of the COUNT entries carries kDriverDeviceDescription exactly.
bool AnyDriverBound(UsbDeviceEntry* const entries[kMaxUsbDevices], std::int32_t count);

void FreeUsbDeviceEntries(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t count);
