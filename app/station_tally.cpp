#include "app/station_tally.h"

#include <cstdio>
#include <cstring>

StationTally station_tally = {};

void AppendStationTally(char (&title)[kDialogTextSize]) {
    const std::size_t length = std::strlen(title);
    std::snprintf(title + length, kDialogTextSize - length,
                  "  [updated %d, verified %d, failed %d]", station_tally.updated,
                  station_tally.verified, station_tally.failed);
}
