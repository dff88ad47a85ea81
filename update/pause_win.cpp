#include "update/pause.h"

#include <windows.h>

#include <timeapi.h>

namespace {

constexpr UINT kFineResolutionMs = 1;

// From Windows 11 on, a raised resolution is not honoured for a process whose window is
// minimised or hidden unless the process opts out, and a technician may well minimise
// the window during the restart. The call exists from Windows 8 on, so it is looked up;
// where it or the flag is unknown, the call fails and nothing changes.
void KeepResolutionWhileHidden() {
    using SetProcessInformationEntry =
        BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const auto set_information =
        reinterpret_cast<SetProcessInformationEntry>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    if (set_information == nullptr)
        return;
    PROCESS_POWER_THROTTLING_STATE state = {};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    set_information(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

} // namespace

void PauseMs(std::uint32_t ms) {
    Sleep(ms);
}

// Before Windows 10 2004 the resolution is system-wide, and at any time it costs
// power, so it is raised only for the short polls and always lowered again.
void BeginFinePauses() {
    KeepResolutionWhileHidden();
    timeBeginPeriod(kFineResolutionMs);
}

void EndFinePauses() {
    timeEndPeriod(kFineResolutionMs);
}
