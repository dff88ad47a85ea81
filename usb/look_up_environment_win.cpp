#include "payload/file_interface.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <cstring>

int LookUpEnvironment(const char* name, char (&value)[kPathSize]) {
    value[0] = '\0';
    wchar_t wide_name[64];
    if (!Utf8ToWide(name, wide_name, 64))
        return EnvironmentNotSet;
    // A value of 4096 UTF-16 characters or more cannot fit in UTF-8 either.
    wchar_t wide[kPathSize];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(wide_name, wide, kPathSize);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return EnvironmentNotSet;
    if (length >= kPathSize)
        return EnvironmentTooLong;
    wide[length] = L'\0'; // an empty value leaves the buffer untouched
    if (!WideToUtf8(wide, value, kPathSize))
        return EnvironmentTooLong;
    return static_cast<int>(std::strlen(value));
}
