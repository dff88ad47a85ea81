// Loaded into the program by uidriver's window hook: a font lives in the process that
// made it, so a label's text is measured there, in the label's own font. On uidriver's
// message (its first parameter a fresh number) the text is laid out as a centred label
// lays it out, at the label's width; when its lines fit the label's height, the number
// is left on the label as a property, else 0.
#include "tests/uidriver/window_probe.h"

#include <windows.h>

namespace {

bool TextFits(HWND label) {
    char text[512] = {};
    GetWindowTextA(label, text, sizeof text);
    RECT area = {};
    GetClientRect(label, &area);
    RECT needed = area;
    HDC dc = GetDC(label);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, previous);
    ReleaseDC(label, dc);
    // The last line may lose its descent below the label, as the template has it at 96 DPI.
    return needed.right - needed.left <= area.right &&
           needed.bottom - metrics.tmDescent <= area.bottom;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    MeasureLabelHook(int code, WPARAM wparam, LPARAM lparam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (code == HC_ACTION && sent->message == RegisterWindowMessageA(kMeasureLabelMessage)) {
        const WPARAM answer = TextFits(sent->hwnd) ? sent->wParam : 0;
        SetPropA(sent->hwnd, kTextFitsProperty, reinterpret_cast<HANDLE>(answer));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
