// What Windows makes of a path component, for the extractor and the build's package check.
#pragma once
#include <cstddef>

// CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9 in any letter case: the system opens the
// device for such a name, with any extension, a colon or trailing blanks after it.
bool IsWindowsDeviceName(const char* component, std::size_t length);
