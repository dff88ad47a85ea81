#include "payload/windows_names.h"

#include <cstring>
#include <initializer_list>

bool IsWindowsDeviceName(const char* component, std::size_t length) {
    std::size_t base = 0;
    while (base < length && component[base] != '.' && component[base] != ':')
        ++base;
    while (base > 0 && component[base - 1] == ' ')
        --base;
    if (base != 3 && base != 4)
        return false;
    char upper[4] = {};
    for (std::size_t i = 0; i < base; ++i) {
        const char c = component[i];
        upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (base == 3) {
        for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
            if (std::memcmp(upper, device, 3) == 0)
                return true;
        }
        return false;
    }
    return (std::memcmp(upper, "COM", 3) == 0 || std::memcmp(upper, "LPT", 3) == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}
