#include "app/main_dialog.h"

#include "app/closing_font.h"
#include "app/dialog_texts.h"
#include "app/session_guard.h"
#include "app/shell_state.h"
#include "app/station.h"
#include "app/worker.h"
#include "payload/device_record.h"
#include "resources/resource_ids.h"
#include "usb/usb_binding.h"
#include "usb/usb_scan.h"

#include <commctrl.h>

#include <algorithm>

// The bar, the banner and the fonts are sized in pixels, the template in dialog units,
// which grow with the display's DPI; the pixels grow alike so the bar stays below the
// labels and the texts fill them. The program is not DPI-aware, so where the system
// scales such programs itself this reads 96, in step with the template.
int ScreenPixels(int pixels_at_96_dpi) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return MulDiv(pixels_at_96_dpi, dpi, 96);
}

namespace {

// The template's units grow with the dialog font, which may grow less than the DPI
// (under Wine 17 pixels per 8 units at 144 DPI, not 18), while the labels' font grows
// with it exactly. So each label is kept as tall as that font's ascent and the row
// below the baseline, scaled: the room the template gives at 96 DPI, where no text is
// cut above its baseline and a Q keeps the start of its tail. The lower label moves
// down by what the upper one grows.
void FitLabelsToFont(HWND dialog, HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(screen, &metrics);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    const int needed = metrics.tmAscent + ScreenPixels(1);
    int shift = 0;
    for (int id : {IDC_UPPER_LABEL, IDC_LOWER_LABEL}) {
        HWND label = GetDlgItem(dialog, id);
        RECT rect = {};
        GetWindowRect(label, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        const int height = std::max<int>(rect.bottom - rect.top, needed);
        SetWindowPos(label, nullptr, rect.left, rect.top + shift, rect.right - rect.left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        shift += height - (rect.bottom - rect.top);
    }
}

// The bar grows with the DPI, the buttons below it with the template's units, which
// may grow less (see above): at 144 DPI under Wine the buttons would cover the bar's
// lower edge. Where the gap would shrink below the 4 pixels it has at 96 DPI under
// Wine, scaled, the bar moves up.
int ProgressBarTop(HWND dialog) {
    RECT button = {};
    GetWindowRect(GetDlgItem(dialog, IDC_START), &button);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
    return std::min<int>(ScreenPixels(120), button.top - ScreenPixels(4) - ScreenPixels(20));
}

void InitMainDialog(HWND dialog) {
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(shell_state.app_icon));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(shell_state.app_icon));
    const auto font = reinterpret_cast<WPARAM>(shell_state.status_font);
    SendDlgItemMessageA(dialog, IDC_UPPER_LABEL, WM_SETFONT, font, TRUE);
    SendDlgItemMessageA(dialog, IDC_LOWER_LABEL, WM_SETFONT, font, TRUE);
    if (shell_state.status_font != nullptr) {
        FitLabelsToFont(dialog, shell_state.status_font);
    }
    shell_state.upper_closing_font =
        FitClosingFont(GetDlgItem(dialog, IDC_UPPER_LABEL), kFinishedUpperText);
    shell_state.lower_closing_font =
        FitClosingFont(GetDlgItem(dialog, IDC_LOWER_LABEL), kFinishedLowerText);
    // Client pixels, not dialog units; the range stays the control's default 0..100.
    shell_state.progress_bar =
        CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, ScreenPixels(25),
                        ProgressBarTop(dialog), ScreenPixels(428), ScreenPixels(20), dialog,
                        nullptr, shell_state.instance_handle, nullptr);
    char version_line[kDialogTextSize] = {};
    FormatVersionLine(version_line, shell_state.identified_version, device_record.version);
    SetWindowTextA(dialog, device_record.model);
    SetDlgItemTextA(dialog, IDC_UPPER_LABEL, device_record.model);
    SetDlgItemTextA(dialog, IDC_LOWER_LABEL, version_line);
}

void PaintBanner(HWND dialog) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(dialog, &paint);
    HDC source = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(source, shell_state.banner_bitmap);
    BITMAP bitmap = {};
    GetObjectA(shell_state.banner_bitmap, sizeof bitmap, &bitmap);
    // The template grows with the dialog font, which follows the DPI only roughly; half
    // the difference from a DPI-scaled client area keeps the banner on the centre line,
    // where 96 DPI has it (at 115 in 480 pixels: 320 units of 8-point MS Shell Dlg).
    RECT client = {};
    GetClientRect(dialog, &client);
    const int left = ScreenPixels(115) + (client.right - ScreenPixels(480)) / 2;
    // Halftone averages the source pixels, so strokes keep an even weight at 125 %.
    SetStretchBltMode(target, HALFTONE);
    SetBrushOrgEx(target, 0, 0, nullptr);
    StretchBlt(target, left, ScreenPixels(10), ScreenPixels(bitmap.bmWidth),
               ScreenPixels(bitmap.bmHeight), source, 0, 0, bitmap.bmWidth, bitmap.bmHeight,
               SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    EndPaint(dialog, &paint);
}

// The Close button, the caption's close box, the system menu and Alt+F4 all end here.
// While an update runs the request is refused: ending the dialog would release the
// library and end the process under the worker.
INT_PTR CloseMainDialog(HWND dialog) {
    // Taken for good: the station's thread, which takes it before each use of the
    // device, finds it taken and ends.
    bool idle = false;
    if (shell_state.update_running.compare_exchange_strong(idle, true)) {
        EndDialog(dialog, 0);
    }
    return TRUE;
}

void ReleaseShellResources() {
    if (shell_state.banner_bitmap != nullptr) {
        DeleteObject(shell_state.banner_bitmap);
        shell_state.banner_bitmap = nullptr;
    }
    if (shell_state.background_brush != nullptr) {
        DeleteObject(shell_state.background_brush);
        shell_state.background_brush = nullptr;
    }
    if (shell_state.status_font != nullptr) {
        DeleteObject(shell_state.status_font);
        shell_state.status_font = nullptr;
    }
    for (HFONT* font : {&shell_state.upper_closing_font, &shell_state.lower_closing_font}) {
        if (*font != nullptr && *font != shell_state.finish_font) {
            DeleteObject(*font);
        }
        *font = nullptr;
    }
    if (shell_state.finish_font != nullptr) {
        DeleteObject(shell_state.finish_font);
        shell_state.finish_font = nullptr;
    }
    ReleaseUsbLibrary();
    FreeUsbDeviceEntries(shell_state.usb_devices, shell_state.usb_device_count);
    shell_state.usb_device_count = 0;
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
    if (shell_state.dialog_window == nullptr) {
        shell_state.dialog_window = window;
    }
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(window);
        // Before the dialog is shown, so that nothing can close it first.
        if (shell_state.run_mode == RunMode::Update) {
            StartWorker();
            if (shell_state.worker_thread == nullptr)
                EndDialog(window, 0); // no update could start: update_result stays -1
        } else if (shell_state.run_mode == RunMode::Station) {
            StartStation();
        }
        return TRUE;
    case WM_PAINT:
        PaintBanner(window);
        return FALSE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(shell_state.background_brush);
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(shell_state.background_brush);
    case WM_COMMAND:
        // The whole parameter: only a click (notification 0) counts, and the Esc key's
        // IDCANCEL is no command of ours, so Esc does not close the dialog.
        if (wparam == IDC_START) {
            StartWorker();
            return TRUE;
        }
        if (wparam == IDC_CLOSE) {
            return CloseMainDialog(window);
        }
        return FALSE;
    case WM_CLOSE:
        return CloseMainDialog(window);
    case WM_QUERYENDSESSION:
        return AnswerQueryEndSession(window);
    case kUpdateEndedMessage:
        LowerSessionGuard(window);
        return TRUE;
    case kStationMessage:
        return StationDialogMessage(window, wparam);
    case WM_DESTROY:
        ReleaseShellResources();
        PostQuitMessage(0);
        return FALSE;
    default:
        return FALSE;
    }
}
