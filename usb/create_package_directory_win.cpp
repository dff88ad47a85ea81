#include "payload/file_interface.h"
#include "usb/final_path.h"
#include "usb/system_failure.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <iterator>

namespace {

// The package's directory and its installer's temporary directory.
HANDLE held_directories[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};

} // namespace

std::int32_t CreatePackageDirectory(const char* path) {
    HANDLE* const held =
        std::find(std::begin(held_directories), std::end(held_directories), INVALID_HANDLE_VALUE);
    wchar_t wide[kPathSize];
    if (held == std::end(held_directories) || !Utf8ToWide(path, wide, kPathSize))
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
    *held = CreateFileW(wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                        nullptr);
    if (*held == INVALID_HANDLE_VALUE) {
        RecordSystemFailure("opening", path, GetLastError());
        return InstallDirectoryNotCreated;
    }
    if (!IsDirectoryAt(*held, wide)) {
        RecordSystemFailure("finding at its own path", path, 0);
        ReleasePackageDirectory();
        return InstallDirectoryNotCreated;
    }
    return 0;
}

void ReleasePackageDirectory() {
    for (HANDLE& held : held_directories) {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
}
