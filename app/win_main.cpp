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
#include "usb/usb_paths.h"
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

// The log's account of the library: where it was looked for, and why it failed.
void LogLibrary(const char* what) {
    char path[kPathSize] = {};
    GetSystemDir(path);
    AppendPathText(path, kUsbLibraryFileName);
    LogNote("USB library %s: %s", what, path);
    LogSystemFailure();
}

void LogModulesFound() {
    LogNote("modules found: %d", shell_state.usb_device_count);
    for (std::int32_t i = 0; i < shell_state.usb_device_count; ++i) {
        const UsbDeviceEntry& entry = *shell_state.usb_devices[i];
        LogNote("module %d: \"%s\" at \"%s\", %s", i, entry.device_desc, entry.location_info,
                entry.hardware_id);
    }
}

void LogIdentification(std::int32_t result) {
    switch (result) {
    case IdentifyNoVersion:
        LogNote("identification: the module's version could not be read");
        break;
    case IdentifyWrongDevice:
        LogNote("identification: not a %s of a known type", device_record.model);
        break;
    case IdentifyNoDevice:
        LogNote("identification: no module the library could use");
        break;
    case IdentifyOpenFailed:
        LogNote("identification: the module could not be opened");
        break;
    default:
        LogNote("identification: firmware version %d", static_cast<int>(result));
        break;
    }
}

// Every step of the start, up to the dialog; returns the exit code.
int RunStart() {
    if (BindUsbLibrary() != nullptr) {
        LogLibrary("loaded");
    } else {
        LogLibrary("not loaded");
        if (InstallUsbLibrary() < 0) {
            LogLibrary("could not be installed");
            AlertUser(kErrorBox, "%s", kLibraryInstallFailed);
            return kExitFailure;
        }
        LogLibrary("installed");
        if (BindUsbLibrary() == nullptr) {
            LogLibrary("installed, but not loaded");
            AlertUser(kErrorBox, "%s", kLibraryLoadFailed);
            return kExitFailure;
        }
        LogLibrary("loaded");
    }

    // A failed scan leaves the count at 0, which the next step reports.
    ScanUsbDevices(shell_state.usb_devices, &shell_state.usb_device_count);
    LogModulesFound();
    if (shell_state.usb_device_count == 0) {
        AlertUser(kInfoBox, "%s", kNoDevices);
        return kExitFailure;
    }

    if (!DriverInstalled()) {
        LogNote("driver missing: no module described as \"%s\"", kDriverDescription);
        AlertUser(kInfoBox, "%s", kDriverWillInstall);
        const std::int32_t installed = InstallDriverPackage();
        LogNote("driver package %s: %s", installed < 0 ? "not installed" : "unpacked",
                driver_package_directory[0] != '\0' ? driver_package_directory : "(no directory)");
        if (installed < 0) {
            LogNote("driver installation failed with %d", installed);
            LogSystemFailure();
            AlertUser(kErrorBox, "%s", kDriverInstallFailed);
            return kExitFailure;
        }
        LogNote("driver installer started: %s%s", driver_package_directory,
                kDriverInstallerFileName);
        return 0; // the installer runs on; the user starts the program again
    }
    LogNote("driver present");

    shell_state.identified_version = IdentifyDevice();
    LogIdentification(shell_state.identified_version);
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

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch(); // before any library is loaded
    shell_state.instance_handle = instance;
    OpenSupportLog();
    const int exit_code = RunStart();
    LogNote("exit code %d", exit_code);
    return exit_code;
}
