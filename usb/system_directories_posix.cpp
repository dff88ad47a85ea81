#include "usb/usb_paths.h"

#include <cstring>

// The native tests' stand-in for the system: the Windows directory is named by "windir",
// and the system directory is its "System32".
int LookUpWindowsDirectory(char (&value)[kPathSize]) {
    return LookUpEnvironment("windir", value);
}

int LookUpSystemDirectory(char (&value)[kPathSize]) {
    const int found = LookUpWindowsDirectory(value);
    if (found < 0)
        return found;
    const bool separated = found > 0 && value[found - 1] == '\\';
    if (!AppendPathText(value, separated ? "System32" : "\\System32")) {
        value[0] = '\0';
        return EnvironmentTooLong;
    }
    return static_cast<int>(std::strlen(value));
}
