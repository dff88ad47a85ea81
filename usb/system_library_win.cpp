#include "usb/system_library.h"

#include "payload/file_interface.h"
#include "usb/system_failure.h"
#include "usb/usb_paths.h"

#include <windows.h>

namespace {

bool search_restricted = false;

// The DLLs that Windows loads by name once the program runs and that are no known DLLs
// everywhere (those, kernel32, user32, gdi32, advapi32, msvcrt, ole32, rpcrt4, imm32, ...,
// always come from the system directory; those the program loads itself go through
// LoadSystemLibrary). Found with Wine's loader trace of a start that installs the driver and
// of a whole update (WINEDEBUG=+loaddll), and, where Wine's own DLLs differ from Windows',
// from what Windows' DLLs load on demand. Each with the reason it is loaded:
constexpr const char* kLoadedLater[] = {
    "uxtheme.dll",   // comctl32's delayed import, when the progress bar is drawn (traced)
    "combase.dll",   // COM behind uxtheme and the boxes, Windows 8 on (traced)
    "msacm32.dll",   // winmm's sound mapper (traced)
    "dwmapi.dll",    // the desktop window manager, asked by uxtheme and the boxes
    "cryptbase.dll", // advapi32's random number function behind std::random_device, 7 on
    "winmmbase.dll", // winmm's own half, Windows 8 on
    "cfgmgr32.dll",  // setupapi's device lists, loaded by name on Vista and 7
    "devobj.dll",    // likewise
    "profapi.dll",   // userenv's profile calls, Windows 7 on
};

// FILE_NAME from the system directory by its full path, and the system's error when not.
void* LoadFromSystemDirectory(const char* file_name, char (&path)[kPathSize], DWORD* error) {
    GetSystemDir(path);
    wchar_t wide[kPathSize];
    *error = ERROR_FILENAME_EXCED_RANGE;
    if (path[0] == '\0' || !AppendPathText(path, file_name) || !Utf8ToWide(path, wide, kPathSize))
        return nullptr;
    // A full path is loaded from there alone. The library's own imports: from the system
    // directory alone where the search is restricted (the search flags fail where it could
    // not be); else by the altered order, which starts in the library's own directory and
    // never looks in the program's.
    const DWORD flags =
        search_restricted ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
    void* const module = LoadLibraryExW(wide, nullptr, flags);
    *error = GetLastError();
    return module;
}

} // namespace

void RestrictLibrarySearch() {
    using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
    const auto set_default_directories =
        reinterpret_cast<SetDefaultDllDirectoriesEntry>(LookUpSetDefaultDllDirectories());
    search_restricted =
        set_default_directories != nullptr && set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    // Loaded for the rest of the process; one this Windows lacks is not needed by it either.
    for (const char* file_name : kLoadedLater) {
        char path[kPathSize];
        DWORD error = 0;
        LoadFromSystemDirectory(file_name, path, &error);
    }
}

void* LoadSystemLibrary(const char* file_name) {
    char path[kPathSize];
    DWORD error = 0;
    void* const module = LoadFromSystemDirectory(file_name, path, &error);
    if (module == nullptr)
        RecordSystemFailure("loading", path, error);
    return module;
}

void* LookUpEntry(void* module, const char* name) {
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
