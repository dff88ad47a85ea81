#include "usb/system_library.h"

#include <windows.h>

void* LookUpSetDefaultDllDirectories() {
    return LookUpEntry(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
}
