#include "update/pause.h"

#include "usb/system_library.h"

#include <windows.h>

namespace {

constexpr UINT kFineResolutionMs = 1;

// From Windows 11 on, a raised resolution is not honoured for a process whose window is
// minimised or hidden unless the process opts out, and a technician may well minimise
// the window during the restart. The call exists from Windows 8 on, so it is looked up;
// where it or the flag is unknown, the call fails and nothing changes.
void KeepResolutionWhileHidden() {
    using SetProcessInformationEntry =
        BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    SetProcessInformationEntry set_information = nullptr;
    if (!ResolveEntry(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation", &set_information))
        return;
    PROCESS_POWER_THROTTLING_STATE state = {};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    set_information(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

// The multimedia timer's resolution calls, from the system directory's winmm.dll, looked
// up once. Where it cannot be loaded the pauses keep the default resolution.
using TimePeriodEntry = UINT(WINAPI*)(UINT);
struct TimerResolution {
    TimePeriodEntry begin_period;
    TimePeriodEntry end_period;
};

const TimerResolution& BindTimerResolution() {
    static const TimerResolution resolution = [] {
        TimerResolution bound = {};
        void* const module = LoadSystemLibrary("winmm.dll");
        if (!ResolveEntry(module, "timeBeginPeriod", &bound.begin_period) ||
            !ResolveEntry(module, "timeEndPeriod", &bound.end_period))
            bound = {};
        return bound;
    }();
    return resolution;
}

} // namespace

void PauseMs(std::uint32_t ms) {
    Sleep(ms);
}

// Before Windows 10 2004 the resolution is system-wide, and at any time it costs
// power, so it is raised only for the short polls and always lowered again.
void BeginFinePauses() {
    KeepResolutionWhileHidden();
    if (BindTimerResolution().begin_period != nullptr)
        BindTimerResolution().begin_period(kFineResolutionMs);
}

void EndFinePauses() {
    if (BindTimerResolution().end_period != nullptr)
        BindTimerResolution().end_period(kFineResolutionMs);
}
