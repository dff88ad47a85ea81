// Paths as a program under Wine reaches them: Unix paths through drive Z:, UTF-8 paths
// through the wide-character calls, and the package directories installations create.
#pragma once
#include "payload/file_interface.h"
#include "payload/tests/tar_test_support.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

inline std::string FromUnix(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// A file of the test data the build prepared, named by ZC_USB_TEST_DATA (a Unix path).
inline std::string TestDataPath(const std::string& name) {
    const char* directory = std::getenv("ZC_USB_TEST_DATA");
    return FromUnix(std::string(directory != nullptr ? directory : "/nonexistent") + "/" + name);
}

inline std::wstring Wide(const std::string& utf8) {
    wchar_t wide[kPathSize];
    return Utf8ToWide(utf8.c_str(), wide, kPathSize) ? wide : L"";
}

inline std::string Utf8(const std::wstring& wide) {
    char utf8[kPathSize];
    return WideToUtf8(wide.c_str(), utf8, kPathSize) ? utf8 : "";
}

// The bytes of the file at the UTF-8 PATH; empty when it cannot be read.
inline std::string ReadUtf8File(const std::string& path) {
    return tar_test::ReadFile(std::filesystem::path(Wide(path)));
}

// Where the program's system directory lies on the Unix side of Wine's 64-bit prefix: a
// 32-bit program's System32 is the prefix's syswow64.
inline std::string SystemLibraryOnDisk() {
    const char* prefix = std::getenv("WINEPREFIX");
    return FromUnix(
        std::string(prefix != nullptr ? prefix : "/nonexistent") +
        (sizeof(void*) == 4 ? "/drive_c/windows/syswow64" : "/drive_c/windows/system32") +
        "/SiUSBXp.dll");
}

// The Windows directory's Temp, where the installations put the driver package.
inline std::string WindowsTemp() {
    wchar_t windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return Utf8(windows) + "\\Temp";
}

// The entries of the directory PATH, a directory's name ending in a backslash.
inline std::vector<std::string> Entries(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (name != L"." && name != L"..")
                names.push_back(Utf8(name) + (directory ? "\\" : ""));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return names;
}

inline bool IsPackageDirectoryName(const std::string& name) {
    const std::string prefix = kPackageDirectoryPrefix;
    return name.compare(0, prefix.size(), prefix) == 0 && name.size() == prefix.size() + 9 &&
           name.find_first_not_of("0123456789abcdef", prefix.size()) == prefix.size() + 8;
}

// The one package directory an installation created below TEMP (kPackageDirectoryPrefix
// and eight hex digits), ending in a backslash; empty when there is none or more than one.
inline std::string PackageDirectoryBelow(const std::string& temp) {
    std::vector<std::string> packages;
    for (const std::string& name : Entries(temp)) {
        if (IsPackageDirectoryName(name))
            packages.push_back(name);
    }
    return packages.size() == 1 ? temp + "\\" + packages[0] : "";
}

// Removes the package directories earlier installations left below TEMP.
inline void RemovePackageDirectories(const std::string& temp) {
    for (const std::string& name : Entries(temp)) {
        if (IsPackageDirectoryName(name))
            std::filesystem::remove_all(std::filesystem::path(Wide(temp + "\\" + name)));
    }
}
