#include "usb/usb_install.h"

#include <windows.h>

#include <shellapi.h>

bool StartDriverInstaller(const char* installer_path, const char* directory) {
    // Values of 32 and below are the shell's error codes.
    const HINSTANCE started =
        ShellExecuteA(nullptr, "open", installer_path, "", directory, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}
