#include "usb/final_path.h"

#include <windows.h>

#include <cwchar>

bool GetFinalDosPath(void* handle, wchar_t* final_path, std::size_t capacity) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final_path, static_cast<DWORD>(capacity), 0);
    if (length == 0 || length >= capacity)
        return false;
    // "\\?\C:\dir"; a path on a share ("\\?\UNC\server\...") keeps its prefix and so never
    // equals a drive-letter path.
    if (std::wcsncmp(final_path, L"\\\\?\\", 4) == 0 && final_path[5] == L':')
        std::wmemmove(final_path, final_path + 4, length - 4 + 1);
    return true;
}

bool SamePath(const wchar_t* first, const wchar_t* second) {
    return CompareStringOrdinal(first, -1, second, -1, TRUE) == CSTR_EQUAL;
}
