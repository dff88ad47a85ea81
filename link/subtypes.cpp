#include "link/identify.h"
#include "payload/device_record.h"

#include <cstdio>
#include <cstring>

bool IsKnownSubtype(std::uint8_t subtype) {
    for (std::uint8_t listed : device_record.subtypes) {
        if (listed == kSubtypeListEnd)
            return false;
        if (listed == subtype)
            return true;
    }
    return false;
}

void FormatSubtypes(char text[kSubtypeTextSize]) {
    std::size_t used = static_cast<std::size_t>(std::snprintf(text, kSubtypeTextSize, "stypes{ "));
    for (std::uint8_t listed : device_record.subtypes) {
        if (listed == kSubtypeListEnd)
            break;
        used += static_cast<std::size_t>(
            std::snprintf(text + used, kSubtypeTextSize - used, "%02x ", listed));
    }
    std::snprintf(text + used, kSubtypeTextSize - used, "}");
}
