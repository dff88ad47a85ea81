#include "payload/file_interface.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <shellapi.h>

bool StartDriverInstaller(const char* installer_path, const char* directory) {
    wchar_t wide_path[kPathSize];
    wchar_t wide_directory[kPathSize];
    if (!Utf8ToWide(installer_path, wide_path, kPathSize) ||
        !Utf8ToWide(directory, wide_directory, kPathSize))
        return false;
    // Values of 32 and below are the shell's error codes.
    const HINSTANCE started =
        ShellExecuteW(nullptr, L"open", wide_path, L"", wide_directory, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}
