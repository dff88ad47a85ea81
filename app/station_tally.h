// The station's count of its visits' endings, shown in the window's title.
#pragma once
#include "app/dialog_texts.h"

struct StationTally {
    int updated;
    int verified;
    int failed;
};

// Written and read on the station's thread only (SetProgress runs there during an update).
extern StationTally station_tally;

// Appends "  [updated N, verified N, failed N]" to a title.
void AppendStationTally(char (&title)[kDialogTextSize]);
