// How the system's device list shows a module: the texts a scan reports and the
// registry presence of the Windows door writes.
#pragma once
#include "sim/model/sim_bus.h"

inline constexpr const char* kSimHardwareId = "USB\\VID_16C0&PID_0618&REV_0100";
inline constexpr const char* kSimCompatibleHardwareId = "USB\\VID_16C0&PID_0618";
inline constexpr const char* kSimUsbClassGuid = "{36fc9e60-c465-11cf-8056-444553540000}";
inline constexpr const char* kSimDriverDescription = "NORV USB Controller";
inline constexpr const char* kSimNoDriverDescription = "USB Device";

inline const char* SimDeviceDescription(const SimModule& module) {
    return module.driver_installed ? kSimDriverDescription : kSimNoDriverDescription;
}
