#include "app/worker.h"

#include "app/alert_user.h"
#include "app/shell_state.h"
#include "resources/resource_ids.h"
#include "update/firmware_update.h"

#include <commctrl.h>

namespace {

void EnableSystemClose(HWND dialog, bool enabled) {
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

} // namespace

std::int32_t StartWorker() {
    if (shell_state.worker_thread != nullptr) {
        return 0;
    }
    HWND dialog = shell_state.dialog_window;
    // Disabled here, before the thread exists, so a second click cannot start another
    // update on the same device.
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
    shell_state.update_running = true;
    EnableSystemClose(dialog, false);
    DWORD thread_id = 0;
    shell_state.worker_thread =
        CreateThread(nullptr, 0, WorkerMain, nullptr, CREATE_SUSPENDED, &thread_id);
    if (shell_state.worker_thread == nullptr) {
        // No update runs, so closing must not stay refused.
        shell_state.update_running = false;
        EnableSystemClose(dialog, true);
        return 0;
    }
    ResumeThread(shell_state.worker_thread);
    return 0;
}

DWORD WINAPI WorkerMain(LPVOID) {
    HWND dialog = shell_state.dialog_window;
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_CLOSE), FALSE);
    if (RunFirmwareUpdate() < 0) {
        SendMessageA(shell_state.progress_bar, PBM_SETBARCOLOR, 0,
                     static_cast<LPARAM>(RGB(200, 0, 0)));
        AlertUser(kErrorBox, "Programming failed");
    }
    // The device is no longer used: closing may release the library from here on.
    shell_state.update_running = false;
    EnableSystemClose(dialog, true);
    EnableWindow(GetDlgItem(dialog, IDC_CLOSE), TRUE);
    ExitThread(0);
}
