#include "payload/file_interface.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <sddl.h>

namespace {

HANDLE held_directory = INVALID_HANDLE_VALUE;

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
    if (!created)
        return error == ERROR_ALREADY_EXISTS ? InstallDirectoryTaken : InstallDirectoryNotCreated;
    // The temporary directory lets its user rename what lies in it. Open without sharing
    // delete access, the directory can be neither renamed nor removed, so the path keeps
    // naming it until the installer has been started from it.
    held_directory = CreateFileW(
        wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return held_directory != INVALID_HANDLE_VALUE ? 0 : InstallDirectoryNotCreated;
}

void ReleasePackageDirectory() {
    if (held_directory != INVALID_HANDLE_VALUE)
        CloseHandle(held_directory);
    held_directory = INVALID_HANDLE_VALUE;
}
