#include "usb/final_path.h"

#include "usb/usb_paths.h"

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

bool IsDirectoryAt(void* directory, const wchar_t* path) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(directory, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    const std::size_t length = std::wcslen(path);
    wchar_t asked[kPathSize];
    wchar_t final_path[kPathSize];
    if (length < 2 || length >= kPathSize)
        return false;
    std::wmemcpy(asked, path, length + 1);
    if (length > 3) // a drive's root keeps its backslash, as its final path does
        asked[length - 1] = L'\0';
    return GetFinalDosPath(directory, final_path, kPathSize) && SamePath(final_path, asked);
}
