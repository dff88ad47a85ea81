#include "update/pause.h"

#include <windows.h>

#include <timeapi.h>

namespace {
constexpr UINT kFineResolutionMs = 1;
}

void PauseMs(std::uint32_t ms) {
    Sleep(ms);
}

// The resolution is system-wide (per process from Windows 10 2004 on) and costs power,
// so it is raised only for the short polls and always lowered again.
void BeginFinePauses() {
    timeBeginPeriod(kFineResolutionMs);
}

void EndFinePauses() {
    timeEndPeriod(kFineResolutionMs);
}
