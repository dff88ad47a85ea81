#include "usb/usb_binding.h"
#include "usb/usb_library.h"

#include <windows.h>

#include <cstring>

namespace {

// The library's full path in the system directory. On 64-bit Windows this 32-bit program's
// system directory is redirected to SysWOW64, for loading as for InstallUsbLibrary's writes,
// so the library it installs is the one it loads. False when the path does not fit.
bool SystemLibraryPath(char (&path)[MAX_PATH]) {
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t name_length = std::strlen(kUsbLibraryFileName);
    if (length == 0 || length + 1 + name_length >= MAX_PATH)
        return false;
    path[length] = '\\';
    std::memcpy(path + length + 1, kUsbLibraryFileName, name_length + 1);
    return true;
}

template <typename Entry> bool Resolve(HMODULE module, const char* name, Entry* entry) {
    const FARPROC address = GetProcAddress(module, name);
    *entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(address));
    return address != nullptr;
}

} // namespace

void* BindUsbLibrary() {
    // A full path, never a search: a copy beside the program or in the current directory is
    // never loaded. (The search flags for the system directory alone need an update on Vista
    // and 7 and fail without it.) The altered search order finds the library's own imports
    // from the system directory first.
    char path[MAX_PATH] = {};
    if (!SystemLibraryPath(path))
        return nullptr;
    const HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
