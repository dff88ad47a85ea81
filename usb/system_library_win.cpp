#include "usb/system_library.h"

#include "payload/file_interface.h"
#include "usb/system_failure.h"
#include "usb/usb_paths.h"

#include <windows.h>

namespace {

bool search_restricted = false;

} // namespace

void RestrictLibrarySearch() {
    using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesEntry set_default_directories = nullptr;
    search_restricted = ResolveEntry(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories",
                                     &set_default_directories) &&
                        set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

void* LoadSystemLibrary(const char* file_name) {
    char path[kPathSize] = {};
    GetSystemDir(path);
    wchar_t wide[kPathSize];
    if (path[0] == '\0' || !AppendPathText(path, file_name) || !Utf8ToWide(path, wide, kPathSize))
        return nullptr;
    // A full path is loaded from there alone. The library's own imports: from the system
    // directory alone where the search is restricted (the search flags fail where it could
    // not be); else by the altered order, which starts in the library's own directory and
    // never looks in the program's.
    const DWORD flags =
        search_restricted ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
    void* const module = LoadLibraryExW(wide, nullptr, flags);
    if (module == nullptr)
        RecordSystemFailure("loading", path, GetLastError());
    return module;
}

void* LookUpEntry(void* module, const char* name) {
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
