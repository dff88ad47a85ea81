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

namespace {

int EnvNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}

// While the first Start click is handled, this executable's import of CreateThread (the
// dialog's code is linked into it) points to a stand-in that fails as Windows does when no
// stack can be placed; the import is given back once the click has been handled.
// Exhausting the address space instead works only in 32 bits.
bool first_start_handled = false;
void** create_thread_import = nullptr;
void* real_create_thread = nullptr;

HANDLE WINAPI CreateThreadWithoutRoom(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID,
                                      DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// The entry of this executable's import address table that holds TARGET; null if none.
void** ImportEntry(void* target) {
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* const nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         dll->Name != 0; ++dll) {
        for (auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
             entry->u1.Function != 0; ++entry) {
            if (reinterpret_cast<void*>(entry->u1.Function) == target)
                return reinterpret_cast<void**>(&entry->u1.Function);
        }
    }
    return nullptr;
}

void SetImport(void* value) {
    DWORD protection = 0;
    VirtualProtect(create_thread_import, sizeof(void*), PAGE_READWRITE, &protection);
    *create_thread_import = value;
    VirtualProtect(create_thread_import, sizeof(void*), protection, &protection);
}

bool IsFirstStart(int code, UINT message, WPARAM wparam) {
    return code == HC_ACTION && !first_start_handled && message == WM_COMMAND &&
           wparam == IDC_START;
}

LRESULT CALLBACK BeforeMessage(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (IsFirstStart(code, call->message, call->wParam))
        SetImport(reinterpret_cast<void*>(&CreateThreadWithoutRoom));
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK AfterMessage(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (IsFirstStart(code, call->message, call->wParam)) {
        first_start_handled = true;
        SetImport(real_create_thread);
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
        // A dllimport function's address is what its import entry holds.
        real_create_thread = reinterpret_cast<void*>(&CreateThread);
        create_thread_import = ImportEntry(real_create_thread);
        if (create_thread_import == nullptr) {
            std::printf("harness: no import entry of CreateThread\n");
            return 1;
        }
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
