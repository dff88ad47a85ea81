#include "usb/usb_paths.h"

#include <cstring>

namespace {

using DirectoryLookUp = int (*)(char (&)[kPathSize]);

// PATH found as LOOK_UP says, ending in exactly one backslash, then SUFFIX; empty when a
// part is missing or does not fit, which makes the installation that needs it fail.
void BuildDirectory(char (&path)[kPathSize], DirectoryLookUp look_up, const char* suffix) {
    std::memset(path, 0, kPathSize);
    bool fits = look_up(path) >= 0;
    const std::size_t length = std::strlen(path);
    if (fits && (length == 0 || path[length - 1] != '\\'))
        fits = AppendPathText(path, "\\");
    if (fits)
        fits = AppendPathText(path, suffix);
    if (!fits)
        std::memset(path, 0, kPathSize);
}

// "TEMP", else "TMP", else the fixed path (which ends in a backslash).
int LookUpTemp(char (&path)[kPathSize]) {
    int found = LookUpEnvironment("TEMP", path);
    if (found == EnvironmentNotSet)
        found = LookUpEnvironment("TMP", path);
    if (found == EnvironmentNotSet && AppendPathText(path, "C:\\Temp\\"))
        found = static_cast<int>(std::strlen(path));
    return found;
}

} // namespace

bool AppendPathText(char (&path)[kPathSize], const char* text) {
    const std::size_t used = strnlen(path, kPathSize);
    const std::size_t added = std::strlen(text);
    if (used + added >= kPathSize)
        return false;
    std::memcpy(path + used, text, added + 1);
    return true;
}

void GetTempDir(char (&path)[kPathSize]) {
    BuildDirectory(path, LookUpTemp, "");
}

void GetSystemDir(char (&path)[kPathSize]) {
    BuildDirectory(path, LookUpSystemDirectory, "");
}

void GetWindowsTempDir(char (&path)[kPathSize]) {
    BuildDirectory(path, LookUpWindowsDirectory, "Temp\\");
}
