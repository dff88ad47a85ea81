// The program's entry point: makes sure the USB library loads, a module is attached
// and has its driver, identifies the module, then runs the main dialog. Every stop
// shows one box and ends the process at once; nothing created before is released.
#include "app/alert_user.h"
#include "app/run_main_dialog.h"
#include "app/shell_state.h"
#include "app/support_log.h"
#include "link/identify.h"
#include "payload/device_record.h"
#include "usb/system_library.h"
#include "usb/usb_binding.h"
#include "usb/usb_install.h"
#include "usb/usb_library.h"
#include "usb/usb_scan.h"

#include <cstring>

namespace {

constexpr int kExitFailure = -1;

constexpr const char* kDriverDescription = "NORV USB Controller";

constexpr const char* kLibraryInstallFailed =
    "Could not install USB system library.\n\nYou may have to restart this application with "
    "an administrator account\nor change your user-access control settings to allow driver "
    "installation.\nPlease contact your system administrator if necessary.";
constexpr const char* kLibraryLoadFailed = "Could not load USB system library.";
constexpr const char* kNoDevices =
    "Could not find any NORV USB devices.\n\nPlease connect a NORV device and try again.";
constexpr const char* kDriverWillInstall =
    "The NORV USB driver is going to be installed now.\n\nPlease restart this application "
    "after the installation.";
constexpr const char* kDriverInstallFailed =
    "Could not install the NORV USB driver.\n\nYou may have to restart this application with "
    "an administrator account\nor change your user-access control settings to allow driver "
    "installation.\nPlease contact your system administrator if necessary.";
constexpr const char* kNoVersionWarning =
    "Warning!\n\nThe version of connected device can not be detected.";
constexpr const char* kWrongDevice =
    "Wrong device connected!\n\nPlease connect the %s and try again.";
constexpr const char* kNoAccess =
    "Device couldn't be accessed.\nPerhaps the device is in use by another application.";

bool DriverInstalled() {
    bool installed = false;
    for (std::int32_t i = 0; i < shell_state.usb_device_count; ++i) {
        if (std::strcmp(shell_state.usb_devices[i]->device_desc, kDriverDescription) == 0) {
            installed = true;
        }
    }
    return installed;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch(); // before any library is loaded
    shell_state.instance_handle = instance;
    OpenSupportLog();

    if (BindUsbLibrary() == nullptr) {
        if (InstallUsbLibrary() < 0) {
            AlertUser(kErrorBox, "%s", kLibraryInstallFailed);
            return kExitFailure;
        }
        if (BindUsbLibrary() == nullptr) {
            AlertUser(kErrorBox, "%s", kLibraryLoadFailed);
            return kExitFailure;
        }
    }

    // A failed scan leaves the count at 0, which the next step reports.
    ScanUsbDevices(shell_state.usb_devices, &shell_state.usb_device_count);
    if (shell_state.usb_device_count == 0) {
        AlertUser(kInfoBox, "%s", kNoDevices);
        return kExitFailure;
    }

    if (!DriverInstalled()) {
        AlertUser(kInfoBox, "%s", kDriverWillInstall);
        if (InstallDriverPackage() < 0) {
            AlertUser(kErrorBox, "%s", kDriverInstallFailed);
            return kExitFailure;
        }
        return 0; // the installer runs on; the user starts the program again
    }

    shell_state.identified_version = IdentifyDevice();
    switch (shell_state.identified_version) {
    case IdentifyNoVersion:
        AlertUser(kInfoBox, "%s", kNoVersionWarning);
        break;
    case IdentifyWrongDevice:
        AlertUser(kErrorBox, kWrongDevice, device_record.model);
        return kExitFailure;
    case IdentifyNoDevice:
    case IdentifyOpenFailed:
        AlertUser(kErrorBox, "%s", kNoAccess);
        return kExitFailure;
    default:
        break;
    }

    return RunMainDialog();
}
