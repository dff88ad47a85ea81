#include "payload/file_interface.h"
#include "usb/installer_environment.h"
#include "usb/system_failure.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <cwchar>
#include <string>

bool StartDriverInstaller(const char* installer_path, const char* directory,
                          const char* temp_directory) {
    wchar_t wide_path[kPathSize];
    wchar_t wide_directory[kPathSize];
    wchar_t wide_temp[kPathSize];
    if (!Utf8ToWide(installer_path, wide_path, kPathSize) ||
        !Utf8ToWide(directory, wide_directory, kPathSize) ||
        !Utf8ToWide(temp_directory, wide_temp, kPathSize))
        return false;
    std::wstring environment;
    if (!BuildInstallerEnvironment(wide_temp, &environment))
        return false;
    // The program by its full path, not through the shell: the shell's associations for this
    // process include the user's own (HKCU\Software\Classes), which could put another program
    // in its place. The command line is the quoted path alone, as the shell would give it.
    wchar_t command_line[kPathSize + 2] = {L'"'};
    const std::size_t length = std::wcslen(wide_path);
    std::wmemcpy(command_line + 1, wide_path, length);
    command_line[length + 1] = L'"';
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(wide_path, command_line, nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(), wide_directory, &startup,
                        &process)) {
        RecordSystemFailure("starting", installer_path, GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
