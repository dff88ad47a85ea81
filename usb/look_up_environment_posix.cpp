#include "usb/usb_paths.h"

#include <cstdlib>
#include <cstring>

int LookUpEnvironment(const char* name, char (&value)[kPathSize]) {
    value[0] = '\0';
    const char* found = std::getenv(name);
    if (found == nullptr)
        return EnvironmentNotSet;
    const std::size_t length = std::strlen(found);
    if (length >= kPathSize)
        return EnvironmentTooLong;
    std::memcpy(value, found, length + 1);
    return static_cast<int>(length);
}
