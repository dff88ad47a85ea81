#include "usb/usb_paths.h"

#include <cstring>

namespace {

// The first variable that is set, else FALLBACK (which ends in a backslash), then SUFFIX.
void BuildDirectory(char (&path)[kPathSize], const char* first, const char* second,
                    const char* fallback, const char* suffix) {
    std::memset(path, 0, kPathSize);
    int found = LookUpEnvironment(first, path);
    if (found == EnvironmentNotSet)
        found = LookUpEnvironment(second, path);
    bool fits = found != EnvironmentTooLong;
    if (found == EnvironmentNotSet)
        fits = AppendPathText(path, fallback);
    const std::size_t length = std::strlen(path);
    if (fits && (length == 0 || path[length - 1] != '\\'))
        fits = AppendPathText(path, "\\");
    if (fits)
        fits = AppendPathText(path, suffix);
    if (!fits)
        std::memset(path, 0, kPathSize); // an empty path makes the installation that needs it fail
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
    BuildDirectory(path, "TEMP", "TMP", "C:\\Temp\\", "");
}

void GetSystemDir(char (&path)[kPathSize]) {
    BuildDirectory(path, "windir", "WINDIR", "C:\\Windows\\", "System32\\");
}
