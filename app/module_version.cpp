#include "app/module_version.h"

#include "payload/device_record.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr std::int32_t kBootLoaderWaiting = 99; // what a module without firmware reports
}

std::int32_t CarriedVersionNumber() {
    char digits[8] = {};
    std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(device_record.version));
    return static_cast<std::int32_t>(std::strtol(digits, nullptr, 10));
}

VersionStanding StandingOf(std::int32_t identified_version) {
    const std::int32_t carried = CarriedVersionNumber();
    if (identified_version == carried)
        return VersionStanding::Current;
    if (identified_version == kBootLoaderWaiting || identified_version < carried)
        return VersionStanding::Older;
    return VersionStanding::Newer;
}
