#include "usb/system_failure.h"

#include <cstdio>

SystemFailure last_system_failure = {};

void RecordSystemFailure(const char* action, const char* path, std::uint32_t error) {
    std::snprintf(last_system_failure.what, sizeof last_system_failure.what, "%s %s", action, path);
    last_system_failure.error = error;
}
