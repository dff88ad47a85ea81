#include "app/worker.h"

#include "app/alert_user.h"
#include "app/session_guard.h"
#include "app/shell_state.h"
#include "resources/resource_ids.h"
#include "update/firmware_update.h"

#include <commctrl.h>

namespace {

// How long /update leaves the ending on the screen before the dialog closes itself.
constexpr DWORD kUnattendedCloseMs = 3000;

} // namespace

void EnableSystemClose(HWND dialog, bool enabled) {
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

std::int32_t StartWorker() {
    // The station starts its updates itself.
    if (shell_state.worker_thread != nullptr || shell_state.run_mode == RunMode::Station) {
        return 0;
    }
    HWND dialog = shell_state.dialog_window;
    // Disabled here, before the thread exists, so a second click cannot start another
    // update on the same device.
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
    shell_state.update_running = true;
    EnableSystemClose(dialog, false);
    RaiseSessionGuard(dialog);
    DWORD thread_id = 0;
    shell_state.worker_thread =
        CreateThread(nullptr, 0, WorkerMain, nullptr, CREATE_SUSPENDED, &thread_id);
    if (shell_state.worker_thread == nullptr) {
        // No update runs: everything is as before the click, so the user may try again.
        LowerSessionGuard(dialog);
        shell_state.update_running = false;
        EnableSystemClose(dialog, true);
        EnableWindow(GetDlgItem(dialog, IDC_START), TRUE);
        return 0;
    }
    ResumeThread(shell_state.worker_thread);
    return 0;
}

DWORD WINAPI WorkerMain(LPVOID) {
    HWND dialog = shell_state.dialog_window;
    KeepSystemAwake(true);
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_CLOSE), FALSE);
    const std::int32_t result = RunFirmwareUpdate();
    shell_state.update_result = result;
    // The flash is no longer being written: the session may end and the system sleep,
    // even while the failure box below waits for the user.
    KeepSystemAwake(false);
    SendMessageA(dialog, kUpdateEndedMessage, 0, 0);
    if (result < 0) {
        SendMessageA(shell_state.progress_bar, PBM_SETBARCOLOR, 0,
                     static_cast<LPARAM>(RGB(200, 0, 0)));
        AlertUser(kErrorBox, "Programming failed");
    }
    // The device is no longer used: closing may release the library from here on.
    shell_state.update_running = false;
    EnableSystemClose(dialog, true);
    EnableWindow(GetDlgItem(dialog, IDC_CLOSE), TRUE);
    if (shell_state.run_mode == RunMode::Update) {
        Sleep(kUnattendedCloseMs);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    }
    ExitThread(0);
}
