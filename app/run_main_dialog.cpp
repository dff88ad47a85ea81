#include "app/run_main_dialog.h"

#include "app/alert_user.h"
#include "app/exit_codes.h"
#include "app/main_dialog.h"
#include "app/shell_state.h"
#include "resources/resource_ids.h"
#include "usb/system_library.h"

#include <commctrl.h>

namespace {

// The progress bar's class, from the system directory's common controls (the classic ones:
// the manifest asks for no other, and the bar's colours need them). The library stays
// loaded, as the class lives in it.
void RegisterProgressBarClass() {
    using InitCommonControlsExEntry = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    InitCommonControlsExEntry init_common_controls = nullptr;
    if (!ResolveEntry(LoadSystemLibrary("comctl32.dll"), "InitCommonControlsEx",
                      &init_common_controls))
        return; // no bar then, as when the registration fails
    const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    init_common_controls(&controls);
}

} // namespace

int RunMainDialog() {
    RegisterProgressBarClass();
    HINSTANCE instance = shell_state.instance_handle;
    shell_state.app_icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP_ICON));
    if (shell_state.app_icon == nullptr) {
        AlertUser(kErrorBox, "Could not load main application icon");
        return kExitNoGraphics;
    }
    shell_state.banner_bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BANNER));
    if (shell_state.banner_bitmap == nullptr) {
        AlertUser(kErrorBox, "Could not load background picture");
        return kExitNoGraphics;
    }
    shell_state.background_brush = CreateSolidBrush(RGB(237, 222, 70));
    if (shell_state.background_brush == nullptr) {
        AlertUser(kErrorBox, "Could not load yellow background");
        return kExitNoGraphics;
    }
    // A font that cannot be created leaves the labels in the template's font.
    shell_state.status_font = CreateFontA(ScreenPixels(17), 0, 0, 0, 700, FALSE, FALSE, FALSE, 0, 0,
                                          0, 0, FF_SWISS | DEFAULT_PITCH, "System");
    shell_state.finish_font = CreateFontA(ScreenPixels(14), 0, 0, 0, 700, FALSE, FALSE, FALSE, 0, 0,
                                          0, 0, FF_SWISS | DEFAULT_PITCH, "Tohoma");
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, MainDialogProc, 0));
}
