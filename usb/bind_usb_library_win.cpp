#include "usb/usb_binding.h"
#include "usb/usb_library.h"

#include <windows.h>

namespace {

template <typename Entry> bool Resolve(HMODULE module, const char* name, Entry* entry) {
    const FARPROC address = GetProcAddress(module, name);
    *entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(address));
    return address != nullptr;
}

} // namespace

void* BindUsbLibrary() {
    const HMODULE module =
        LoadLibraryExA(kUsbLibraryFileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr)
        return nullptr;
    UsbLibrary bound = {};
    bound.module = module;
    const bool complete = Resolve(module, "SI_GetNumDevices", &bound.SI_GetNumDevices) &&
                          Resolve(module, "SI_GetProductString", &bound.SI_GetProductString) &&
                          Resolve(module, "SI_SetTimeouts", &bound.SI_SetTimeouts) &&
                          Resolve(module, "SI_Open", &bound.SI_Open) &&
                          Resolve(module, "SI_Close", &bound.SI_Close) &&
                          Resolve(module, "SI_CheckRXQueue", &bound.SI_CheckRXQueue) &&
                          Resolve(module, "SI_Read", &bound.SI_Read) &&
                          Resolve(module, "SI_Write", &bound.SI_Write);
    if (!complete) {
        FreeLibrary(module);
        return nullptr;
    }
    usb_library = bound;
    return module;
}

void ReleaseUsbLibrary() {
    if (usb_library.module != nullptr)
        FreeLibrary(static_cast<HMODULE>(usb_library.module));
    usb_library = {};
}
