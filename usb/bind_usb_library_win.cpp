#include "usb/system_failure.h"
#include "usb/system_library.h"
#include "usb/usb_binding.h"
#include "usb/usb_library.h"

#include <windows.h>

void* BindUsbLibrary() {
    // From the system directory by its full path, the file InstallUsbLibrary writes: a copy
    // beside the program or in the current directory is never loaded.
    void* const module = LoadSystemLibrary(kUsbLibraryFileName);
    if (module == nullptr)
        return nullptr;
    UsbLibrary bound = {};
    bound.module = module;
    const bool complete = ResolveEntry(module, "SI_GetNumDevices", &bound.SI_GetNumDevices) &&
                          ResolveEntry(module, "SI_GetProductString", &bound.SI_GetProductString) &&
                          ResolveEntry(module, "SI_SetTimeouts", &bound.SI_SetTimeouts) &&
                          ResolveEntry(module, "SI_Open", &bound.SI_Open) &&
                          ResolveEntry(module, "SI_Close", &bound.SI_Close) &&
                          ResolveEntry(module, "SI_CheckRXQueue", &bound.SI_CheckRXQueue) &&
                          ResolveEntry(module, "SI_Read", &bound.SI_Read) &&
                          ResolveEntry(module, "SI_Write", &bound.SI_Write);
    if (!complete) {
        RecordSystemFailure("finding every entry point of", kUsbLibraryFileName, GetLastError());
        FreeLibrary(static_cast<HMODULE>(module));
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
