// The program's entry point: makes sure the USB library loads, a module is attached
// and has its driver, identifies the module, then runs the main dialog. Every stop
// shows one box and ends the process at once; nothing created before is released.
// A switch changes the road (see command_line.h): /check stops before anything would be
// installed or written, /update and /station let the dialog begin on its own.
#include "app/alert_user.h"
#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/module_version.h"
#include "app/run_main_dialog.h"
#include "app/shell_state.h"
#include "app/station.h"
#include "app/support_log.h"
#include "link/identify.h"
#include "payload/device_record.h"
#include "usb/system_failure.h"
#include "usb/system_library.h"
#include "usb/usb_binding.h"
#include "usb/usb_install.h"
#include "usb/usb_library.h"
#include "usb/usb_paths.h"
#include "usb/usb_scan.h"

#include <cstdlib>

namespace {

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

// The exit code of an ending that shows a box: the start-up's -1 without a switch, the
// ending's own code with one.
int BoxEnding(int code_with_switch) {
    return shell_state.run_mode == RunMode::Attended ? kExitFailure : code_with_switch;
}

// /check reports what it found; /update leaves a module alone that needs no update.
// -1 when the dialog is to open.
int EndBeforeDialog(std::int32_t version) {
    const RunMode mode = shell_state.run_mode;
    if (mode != RunMode::Check && mode != RunMode::Update)
        return -1;
    const VersionStanding standing = StandingOf(version);
    if (standing == VersionStanding::Current) {
        LogNote("module \"%s\" runs the carried firmware v%d: nothing to write", identified_serial,
                static_cast<int>(CarriedVersionNumber()));
        return kExitSuccess;
    }
    if (mode == RunMode::Check || standing == VersionStanding::Newer) {
        LogNote("module \"%s\" runs v%d, the program carries v%d%s", identified_serial,
                static_cast<int>(version), static_cast<int>(CarriedVersionNumber()),
                mode == RunMode::Check ? "" : ": newer, not written");
        return kExitOtherVersion;
    }
    return -1;
}

int RunDialog() {
    const int result = RunMainDialog();
    if (shell_state.run_mode == RunMode::Attended || result == kExitNoGraphics)
        return result;
    if (result != 0)
        return kExitNoDialog;
    if (shell_state.run_mode == RunMode::Update && shell_state.update_result != 0)
        return kExitUpdateFailed;
    if (shell_state.run_mode == RunMode::Station && !StationStarted())
        return kExitStationNotStarted;
    return kExitSuccess;
}

// Every step of the start, up to the dialog; returns the exit code.
int RunStart() {
    if (BindUsbLibrary() != nullptr) {
        LogLibrary("loaded");
    } else if (shell_state.run_mode == RunMode::Check) {
        // Reported, not installed: a missing file is told from one that does not load.
        const bool missing = last_system_failure.error == ERROR_MOD_NOT_FOUND;
        LogLibrary(missing ? "missing, not installed" : "not loaded");
        return missing ? kExitLibraryMissing : kExitLibraryNotLoading;
    } else {
        LogLibrary("not loaded");
        if (InstallUsbLibrary() < 0) {
            LogLibrary("could not be installed");
            AlertUser(kErrorBox, "%s", kLibraryInstallFailed);
            return BoxEnding(kExitLibraryMissing);
        }
        LogLibrary("installed");
        if (BindUsbLibrary() == nullptr) {
            LogLibrary("installed, but not loaded");
            AlertUser(kErrorBox, "%s", kLibraryLoadFailed);
            return BoxEnding(kExitLibraryNotLoading);
        }
        LogLibrary("loaded");
    }

    // A failed scan leaves the count at 0, which the next step reports.
    ScanUsbDevices(shell_state.usb_devices, &shell_state.usb_device_count);
    LogModulesFound();
    // The station waits for its first module.
    const bool station = shell_state.run_mode == RunMode::Station;
    if (shell_state.usb_device_count == 0 && !station) {
        AlertUser(kInfoBox, "%s", kNoDevices);
        return BoxEnding(kExitNoModule);
    }

    if (shell_state.usb_device_count > 0 &&
        !AnyDriverBound(shell_state.usb_devices, shell_state.usb_device_count)) {
        LogNote("driver missing: no module described as \"%s\"", kDriverDeviceDescription);
        if (shell_state.run_mode == RunMode::Check)
            return kExitDriverMissing;
        AlertUser(kInfoBox, "%s", kDriverWillInstall);
        const std::int32_t installed = InstallDriverPackage();
        LogNote("driver package %s: %s", installed < 0 ? "not installed" : "unpacked",
                driver_package_directory[0] != '\0' ? driver_package_directory : "(no directory)");
        if (installed < 0) {
            LogNote("driver installation failed with %d", installed);
            LogSystemFailure();
            AlertUser(kErrorBox, "%s", kDriverInstallFailed);
            return BoxEnding(kExitDriverNotInstalled);
        }
        LogNote("driver installer started: %s%s", driver_package_directory,
                kDriverInstallerFileName);
        // The installer runs on; the user starts the program again.
        return shell_state.run_mode == RunMode::Attended ? kExitSuccess : kExitDriverMissing;
    }
    if (station)
        return RunDialog(); // every module, the first too, is identified by the station
    LogNote("driver present");

    shell_state.identified_version = IdentifyDevice();
    LogIdentification(shell_state.identified_version);
    switch (shell_state.identified_version) {
    case IdentifyNoVersion:
        AlertUser(kInfoBox, "%s", kNoVersionWarning);
        if (Unattended(shell_state.run_mode))
            return kExitVersionUnreadable;
        break;
    case IdentifyWrongDevice:
        AlertUser(kErrorBox, kWrongDevice, device_record.model);
        return BoxEnding(kExitWrongModule);
    case IdentifyNoDevice:
    case IdentifyOpenFailed:
        AlertUser(kErrorBox, "%s", kNoAccess);
        return BoxEnding(kExitNoAccess);
    default:
        if (const int ended = EndBeforeDialog(shell_state.identified_version); ended >= 0)
            return ended;
        break;
    }

    return RunDialog();
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch(); // before any library is loaded
    // Before anything is installed or written, the log included.
    CommandLine command_line = {};
    if (ParseCommandLine(__argc - 1, __argv + 1, &command_line) != 0) {
        AlertUser(kErrorBox, "%s", command_line.refused);
        return kExitCommandLine;
    }
    shell_state.run_mode = command_line.mode;
    shell_state.instance_handle = instance;
    OpenSupportLog();
    if (__argc > 1)
        LogNote("command line: %s", __argv[1]);
    const int exit_code = RunStart();
    LogNote("exit code %d", exit_code);
    return exit_code;
}
