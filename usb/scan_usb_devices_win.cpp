#include "usb/system_library.h"
#include "usb/usb_scan.h"

#include <windows.h>

#include <setupapi.h>

#include <cstring>
#include <new>

namespace {

constexpr char kModulePattern[] = "VID_16C0&PID_0618";
constexpr DWORD kPropertiesInOrder[] = {SPDRP_HARDWAREID, SPDRP_LOCATION_INFORMATION,
                                        SPDRP_DEVICEDESC};
static_assert(sizeof(SP_DEVINFO_DATA) == (sizeof(void*) == 4 ? 28 : 32), "the device record");

// Copies at most 63 characters of the text in BUFFER (SIZE bytes) and terminates FIELD.
void CopyText(char (&field)[kUsbTextSize], const char* buffer, DWORD size) {
    const std::size_t length = strnlen(buffer, size);
    const std::size_t kept = length < kUsbTextSize - 1 ? length : kUsbTextSize - 1;
    std::memcpy(field, buffer, kept);
    field[kept] = '\0';
}

// The first text of a hardware id property, upper-cased as far as 63 characters go.
bool NamesTheModule(const char* buffer, DWORD size) {
    char upper[kUsbTextSize] = {};
    CopyText(upper, buffer, size);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return std::strstr(upper, kModulePattern) != nullptr;
}

// The device installer's calls, from the system directory's setupapi.dll, bound once.
struct SetupApi {
    decltype(&SetupDiGetClassDevsA) get_class_devs;
    decltype(&SetupDiEnumDeviceInfo) enum_device_info;
    decltype(&SetupDiGetDeviceRegistryPropertyA) get_device_registry_property;
    decltype(&SetupDiDestroyDeviceInfoList) destroy_device_info_list;
};

const SetupApi* BindSetupApi() {
    static SetupApi api = {};
    static bool bound = false;
    if (!bound) {
        void* const module = LoadSystemLibrary("setupapi.dll");
        bound = ResolveEntry(module, "SetupDiGetClassDevsA", &api.get_class_devs) &&
                ResolveEntry(module, "SetupDiEnumDeviceInfo", &api.enum_device_info) &&
                ResolveEntry(module, "SetupDiGetDeviceRegistryPropertyA",
                             &api.get_device_registry_property) &&
                ResolveEntry(module, "SetupDiDestroyDeviceInfoList", &api.destroy_device_info_list);
    }
    return bound ? &api : nullptr;
}

} // namespace

std::int32_t ScanUsbDevices(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t* count) {
    *count = 0;
    entries[0] = nullptr;
    const SetupApi* const api = BindSetupApi();
    if (api == nullptr)
        return -1;
    const HDEVINFO set =
        api->get_class_devs(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return -1;

    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    bool list_full = false;
    for (DWORD index = 0; api->enum_device_info(set, index, &device); ++index) {
        if (*count == kMaxUsbDevices) {
            list_full = true;
            break;
        }
        // Matched once its entry exists; stored in the list only once its description is.
        // An unmatched device has its other properties read and ignored.
        UsbDeviceEntry* entry = nullptr;
        for (const DWORD property : kPropertiesInOrder) {
            DWORD required = 0;
            api->get_device_registry_property(set, &device, property, nullptr, nullptr, 0,
                                              &required);
            const DWORD size = required * 2;
            char* buffer = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, size));
            if (!api->get_device_registry_property(set, &device, property, nullptr,
                                                   reinterpret_cast<BYTE*>(buffer), size,
                                                   nullptr)) {
                if (buffer != nullptr)
                    LocalFree(buffer);
                continue;
            }
            if (buffer == nullptr)
                continue;
            if (property == SPDRP_HARDWAREID && NamesTheModule(buffer, size)) {
                // An entry that cannot be allocated leaves the device unmatched.
                entry = new (std::nothrow) UsbDeviceEntry{};
                if (entry != nullptr)
                    CopyText(entry->hardware_id, buffer, size);
            } else if (entry != nullptr && property == SPDRP_LOCATION_INFORMATION) {
                CopyText(entry->location_info, buffer, size);
            } else if (entry != nullptr && property == SPDRP_DEVICEDESC) {
                CopyText(entry->device_desc, buffer, size);
                entries[(*count)++] = entry;
                entry = nullptr;
            }
            LocalFree(buffer);
        }
        delete entry; // matched, but its description could not be read
    }
    const DWORD stop_reason = GetLastError();
    api->destroy_device_info_list(set);
    return list_full || stop_reason == ERROR_NO_MORE_ITEMS ? 0 : -2;
}
