#include "payload/file_interface.h"
#include "usb/final_path.h"
#include "usb/system_failure.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <sddl.h>

#include <cwchar>

namespace {

HANDLE held_directory = INVALID_HANDLE_VALUE;

// Whether the open DIRECTORY is a plain directory whose final path is PATH (wide, ending
// in a backslash): no junction, mount point or link on the way led elsewhere.
bool IsTheDirectoryAskedFor(HANDLE directory, const wchar_t* path) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(directory, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    wchar_t asked[kPathSize];
    wchar_t final_path[kPathSize];
    std::wcscpy(asked, path);
    asked[std::wcslen(asked) - 1] = L'\0';
    return GetFinalDosPath(directory, final_path, kPathSize) && SamePath(final_path, asked);
}

} // namespace

std::int32_t CreatePackageDirectory(const char* path) {
    wchar_t wide[kPathSize];
    if (!Utf8ToWide(path, wide, kPathSize))
        return InstallDirectoryNotCreated;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPackageDirectorySecurity,
                                                              SDDL_REVISION_1, &security, nullptr))
        return InstallDirectoryNotCreated;
    // The descriptor is set as the directory comes into being: there is no moment in which
    // another program could write into it. A name that exists is refused, never reused.
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
    const BOOL created = CreateDirectoryW(wide, &attributes);
    const DWORD error = GetLastError();
    LocalFree(security);
    if (!created && error == ERROR_ALREADY_EXISTS)
        return InstallDirectoryTaken;
    if (!created) {
        RecordSystemFailure("creating", path, error);
        return InstallDirectoryNotCreated;
    }
    // Held open, without delete sharing, until the installer has started from it; and what
    // was made is checked to be what was asked for before anything is written into it.
    held_directory = CreateFileW(
        wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held_directory == INVALID_HANDLE_VALUE) {
        RecordSystemFailure("opening", path, GetLastError());
        return InstallDirectoryNotCreated;
    }
    if (!IsTheDirectoryAskedFor(held_directory, wide)) {
        RecordSystemFailure("finding at its own path", path, 0);
        ReleasePackageDirectory();
        return InstallDirectoryNotCreated;
    }
    return 0;
}

void ReleasePackageDirectory() {
    if (held_directory != INVALID_HANDLE_VALUE)
        CloseHandle(held_directory);
    held_directory = INVALID_HANDLE_VALUE;
}
