#include "sim/dll/timer_thread.h"
#include "sim/windows/bus_session_win.h"
#include <algorithm>
#include <limits>
#include <windows.h>

namespace {

// Both guarded by the bus lock.
bool thread_running = false;
HANDLE wake = nullptr;

DWORD WINAPI RunTimers(void* library) {
    for (;;) {
        std::string error;
        if (!SimSessionBegin(&error)) {
            thread_running = false; // the state directory went away: nothing can be due
            break;
        }
        const std::uint64_t due = SimSessionNextDueUs();
        const std::uint64_t now = SimRealNowUs();
        if (due == std::numeric_limits<std::uint64_t>::max())
            thread_running = false;
        SimSessionEnd(&error);
        if (!thread_running)
            break;
        // Woken early when a use changes what is due; a long wait is taken in steps.
        const std::uint64_t wait_ms = due > now ? (due - now + 999) / 1000 : 0;
        WaitForSingleObject(wake, static_cast<DWORD>(std::min<std::uint64_t>(wait_ms, 60000)));
    }
    // The thread holds a reference on the library, so that a FreeLibrary of the
    // program's never unmaps the code it runs.
    FreeLibraryAndExitThread(static_cast<HMODULE>(library), 0);
}

} // namespace

void SimTimerThreadWatch() {
    if (SimSessionNextDueUs() == std::numeric_limits<std::uint64_t>::max())
        return;
    if (!wake)
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (thread_running) {
        SetEvent(wake);
        return;
    }
    HMODULE library = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&SimTimerThreadWatch), &library))
        return;
    HANDLE thread = CreateThread(nullptr, 0, RunTimers, library, 0, nullptr);
    if (!thread) {
        FreeLibrary(library);
        return;
    }
    CloseHandle(thread);
    thread_running = true;
}
