// The stand-in driver installer of the carried driver package (NorvUSBInstaller.exe):
// binds the simulated modules to the driver, as simctl install-driver does, after writing
// what it was started with into the state directory's "installer-started.txt": its working
// directory, TEMP, TMP and PATH, one "NAME=value" a line in UTF-8.
#include "sim/ctl/bus_commands_win.h"
#include "sim/windows/state_dir_win.h"

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

std::string Utf8(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 1 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back(); // the terminator
    return utf8;
}

void ReportStart() {
    std::string directory;
    if (!SimStateDirFromEnvironment(&directory))
        return;
    std::FILE* report = std::fopen((directory + "\\installer-started.txt").c_str(), "wb");
    if (report == nullptr)
        return;
    static wchar_t value[32768];
    GetCurrentDirectoryW(32768, value);
    std::fprintf(report, "directory=%s\n", Utf8(value).c_str());
    for (const char* name : {"TEMP", "TMP", "PATH"}) {
        const std::wstring wide_name(name, name + std::char_traits<char>::length(name));
        if (GetEnvironmentVariableW(wide_name.c_str(), value, 32768) == 0)
            value[0] = L'\0';
        std::fprintf(report, "%s=%s\n", name, Utf8(value).c_str());
    }
    std::fclose(report);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ReportStart();
    return SimCtlInstallDriver();
}
