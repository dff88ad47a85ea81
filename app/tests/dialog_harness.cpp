// The program's dialog without the USB world: start-up's last step, the real dialog,
// progress display and worker, with an update procedure that only walks the progress
// the way the real one reports it. Driven by uidriver in the dialog's end-to-end
// cases. ZC_HARNESS_VERSION is the identified version (default 786); with
// ZC_HARNESS_FAIL_AT set the update fails on reaching that percentage; with
// ZC_HARNESS_FIRST_START_FAILS set the first Start finds no room for the worker thread.
#include "app/run_main_dialog.h"
#include "app/shell_state.h"
#include "link/progress.h"
#include "resources/resource_ids.h"
#include "update/firmware_update.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int EnvNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}

// While the first Start click is handled, every free block of the address space from
// 1 MiB up is reserved, so a thread's stack (2 MiB) cannot be placed; it is given back
// once the click has been handled.
std::vector<void*> taken_space;
bool first_start_handled = false;

bool IsFirstStart(int code, UINT message, WPARAM wparam) {
    return code == HC_ACTION && !first_start_handled && message == WM_COMMAND &&
           wparam == IDC_START;
}

LRESULT CALLBACK BeforeMessage(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (IsFirstStart(code, call->message, call->wParam)) {
        for (SIZE_T size = SIZE_T{1} << 30; size >= SIZE_T{1} << 20;) {
            void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
            if (block != nullptr) {
                taken_space.push_back(block);
            } else {
                size /= 2;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK AfterMessage(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (IsFirstStart(code, call->message, call->wParam)) {
        first_start_handled = true;
        for (void* block : taken_space) {
            VirtualFree(block, 0, MEM_RELEASE);
        }
        taken_space.clear();
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

} // namespace

std::int32_t RunFirmwareUpdate() {
    // Asked with the flags the worker set, this returns its state and changes nothing.
    std::printf("harness: execution state during the update %#lx\n",
                SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    const int fail_at = EnvNumber("ZC_HARNESS_FAIL_AT", -1);
    constexpr unsigned kChunks = 400;
    for (unsigned chunk = 1; chunk <= kChunks; ++chunk) {
        const auto percent = static_cast<std::int32_t>(std::min(chunk * 100 / kChunks, 95u));
        SetProgress(percent);
        if (percent == fail_at) {
            std::printf("harness: update fails at %d%%\n", percent);
            return -1;
        }
        Sleep(10);
    }
    const std::int32_t steps[] = {97, 99, 100};
    for (std::int32_t percent : steps) {
        SetProgress(percent);
        Sleep(100);
    }
    std::printf("harness: update done\n");
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    shell_state.instance_handle = instance;
    shell_state.identified_version = EnvNumber("ZC_HARNESS_VERSION", 786);
    if (std::getenv("ZC_HARNESS_FIRST_START_FAILS") != nullptr) {
        SetWindowsHookExA(WH_CALLWNDPROC, BeforeMessage, nullptr, GetCurrentThreadId());
        SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());
    }
    const int result = RunMainDialog();
    // Wine keeps one execution state for the whole process, so this reads what the
    // worker left behind.
    std::printf("harness: execution state after the dialog %#lx\n",
                SetThreadExecutionState(ES_CONTINUOUS));
    return result;
}
