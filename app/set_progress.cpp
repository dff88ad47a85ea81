// The progress display: the bar, the percentage in the title, and at 100 the closing
// texts. Runs on the worker thread; every window call is delivered to the main thread.
#include "app/dialog_texts.h"
#include "app/shell_state.h"
#include "app/station_tally.h"
#include "link/progress.h"
#include "payload/device_record.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

#include <algorithm>

std::int32_t SetProgress(std::int32_t percent) {
    const std::int32_t value = std::clamp<std::int32_t>(percent, 0, 100);
    if (value == shell_state.last_progress) {
        return 0;
    }
    shell_state.last_progress = value;
    if (shell_state.progress_bar == nullptr) {
        return -1;
    }
    HWND dialog = shell_state.dialog_window;
    if (value == 100) {
        SendDlgItemMessageA(dialog, IDC_UPPER_LABEL, WM_SETFONT,
                            reinterpret_cast<WPARAM>(shell_state.upper_closing_font), TRUE);
        SendDlgItemMessageA(dialog, IDC_LOWER_LABEL, WM_SETFONT,
                            reinterpret_cast<WPARAM>(shell_state.lower_closing_font), TRUE);
        SetDlgItemTextA(dialog, IDC_UPPER_LABEL, kFinishedUpperText);
        SetDlgItemTextA(dialog, IDC_LOWER_LABEL, kFinishedLowerText);
    }
    char title[kDialogTextSize] = {};
    FormatProgressTitle(title, device_record.model, device_record.version, value);
    if (shell_state.run_mode == RunMode::Station)
        AppendStationTally(title);
    SetWindowTextA(dialog, title);
    SendMessageA(shell_state.progress_bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    const COLORREF colour = value == 100 ? RGB(0, 200, 0) : RGB(0, 0, 0);
    SendMessageA(shell_state.progress_bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
    return 0;
}
