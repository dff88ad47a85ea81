#include "sim/windows/registry_presence_win.h"
#include "sim/model/usb_identity.h"
#include <windows.h>

namespace {

std::string KeyPath(const std::string& serial) {
    // The compatible id "USB\VID_16C0&PID_0618" is also the key's place below Enum.
    return std::string("System\\CurrentControlSet\\Enum\\") + kSimCompatibleHardwareId + "\\" +
           serial;
}

bool SetValue(HKEY key, const char* name, DWORD type, const std::string& data) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::string Text(const std::string& text) {
    return text + '\0';
}

} // namespace

std::int32_t SimShowInRegistry(const SimModule& module) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath(module.config.serial).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return -1;
    const std::string hardware_ids =
        Text(kSimHardwareId) + Text(kSimCompatibleHardwareId) + '\0'; // a multi-string
    const bool ok = SetValue(key, "HardwareID", REG_MULTI_SZ, hardware_ids) &&
                    SetValue(key, "DeviceDesc", REG_SZ, Text(SimDeviceDescription(module))) &&
                    SetValue(key, "LocationInformation", REG_SZ, Text(module.config.location)) &&
                    SetValue(key, "ClassGUID", REG_SZ, Text(kSimUsbClassGuid));
    RegCloseKey(key);
    return ok ? 0 : -1;
}

std::int32_t SimHideFromRegistry(const std::string& serial) {
    const LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, KeyPath(serial).c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : -1;
}
