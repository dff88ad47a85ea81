#include "payload/file_interface.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <cstring>

namespace {

using DirectoryQuery = UINT(WINAPI*)(LPWSTR, UINT);

// The directory QUERY names, in UTF-8 without a trailing backslash.
int LookUpDirectory(DirectoryQuery query, char (&value)[kPathSize]) {
    value[0] = '\0';
    wchar_t wide[kPathSize];
    const UINT length = query(wide, kPathSize);
    if (length == 0 || length >= kPathSize || !WideToUtf8(wide, value, kPathSize))
        return EnvironmentTooLong;
    return static_cast<int>(std::strlen(value));
}

} // namespace

// From the system, never from windir: the user sets that in HKCU\Environment. On 64-bit
// Windows this 32-bit program's System32 is redirected to SysWOW64, for its writes and its
// loads alike. The shared Windows directory, not a terminal server user's own.
int LookUpSystemDirectory(char (&value)[kPathSize]) {
    return LookUpDirectory(GetSystemDirectoryW, value);
}

int LookUpWindowsDirectory(char (&value)[kPathSize]) {
    return LookUpDirectory(GetSystemWindowsDirectoryW, value);
}
