#include "app/dialog_texts.h"

#include <cstdio>

void FormatVersionLine(char (&text)[kDialogTextSize], std::int32_t identified_version,
                       std::uint16_t carried_version) {
    const unsigned carried = carried_version;
    if (identified_version > 0) {
        std::snprintf(text, kDialogTextSize, "current version:  v%d   -->   new version:  v%x",
                      static_cast<int>(identified_version), carried);
    } else {
        std::snprintf(text, kDialogTextSize, "new version: v%x", carried);
    }
}

void FormatProgressTitle(char (&text)[kDialogTextSize], const char* model,
                         std::uint16_t carried_version, std::int32_t percent) {
    const unsigned carried = carried_version;
    if (percent >= 100) {
        std::snprintf(text, kDialogTextSize, " %s, v%x - DONE!", model, carried);
    } else {
        std::snprintf(text, kDialogTextSize, " %s, v%x - %d%%", model, carried,
                      static_cast<int>(percent));
    }
}
