// The program's dialog without the USB world: start-up's last step, the real dialog,
// progress display and worker, with an update procedure that only walks the progress
// the way the real one reports it. Driven by uidriver in the dialog's end-to-end
// cases. ZC_HARNESS_VERSION is the identified version (default 786); with
// ZC_HARNESS_FAIL_AT set the update fails on reaching that percentage.
#include "app/run_main_dialog.h"
#include "app/shell_state.h"
#include "link/progress.h"
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

} // namespace

std::int32_t RunFirmwareUpdate() {
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
    return RunMainDialog();
}
