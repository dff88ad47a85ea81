#include "app/station.h"

#include "app/module_version.h"
#include "app/session_guard.h"
#include "app/shell_state.h"
#include "app/station_record.h"
#include "app/station_tally.h"
#include "app/support_log.h"
#include "app/worker.h"
#include "link/identify.h"
#include "payload/device_record.h"
#include "resources/resource_ids.h"
#include "update/firmware_update.h"
#include "update/update_steps.h"
#include "usb/usb_library.h"
#include "usb/usb_scan.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The scan is polled while the station waits for a module to leave or come: the
// simulated bus sends this window no device notifications, and polling needs none.
constexpr DWORD kScanPollMs = 500;
// A module the system has just listed may not be open to the library yet.
constexpr DWORD kArrivalSettleMs = 1500;
// After its power cycle the module first completes the update before it runs the new
// firmware: meanwhile it may not answer, or answer from its boot loader (v99). It is asked
// again this often, for this long (ten times the few seconds it takes), before it is
// recorded as failed.
constexpr DWORD kVerifyRetryMs = 2000;
constexpr ULONGLONG kVerifyWindowMs = 60000;
constexpr std::int32_t kBootLoaderVersion = 99;

constexpr const char* kWaitingText = "Connect the next module and switch it on.";
constexpr const char* kNextText = "Power cycle the module, or swap it for the next one.";
constexpr const char* kVerifyingText = "Waiting for the module to complete its update ...";
constexpr const char* kNoRecordText = "The station's record could not be opened.";

enum StationRequest : WPARAM { UpdateBegins, UpdateEnds };

bool station_started = false;

struct Presence {
    std::int32_t count;
    bool driver;
    char location[kUsbTextSize];
};

Presence ScanPresence() {
    UsbDeviceEntry* entries[kMaxUsbDevices] = {};
    Presence presence = {};
    ScanUsbDevices(entries, &presence.count);
    presence.driver = AnyDriverBound(entries, presence.count);
    if (presence.count == 1)
        std::snprintf(presence.location, kUsbTextSize, "%s", entries[0]->location_info);
    else if (presence.count > 1)
        std::snprintf(presence.location, kUsbTextSize, "(%d modules present)",
                      static_cast<int>(presence.count));
    FreeUsbDeviceEntries(entries, presence.count);
    return presence;
}

void WaitForPresence(bool present) {
    while ((ScanPresence().count > 0) != present)
        Sleep(kScanPollMs);
}

// The device and the library are this thread's until it gives them back; a dialog that
// has closed keeps them for good, and the station ends.
bool TakeDevice() {
    bool idle = false;
    return shell_state.update_running.compare_exchange_strong(idle, true);
}

void GiveDeviceBack() {
    if (DeviceHandle != nullptr)
        CloseDevice();
    shell_state.update_running = false;
}

void ShowLabels(HWND dialog, const char* upper, const char* lower, HFONT font) {
    const auto wide_font = reinterpret_cast<WPARAM>(font);
    SendDlgItemMessageA(dialog, IDC_UPPER_LABEL, WM_SETFONT, wide_font, TRUE);
    SendDlgItemMessageA(dialog, IDC_LOWER_LABEL, WM_SETFONT, wide_font, TRUE);
    SetDlgItemTextA(dialog, IDC_UPPER_LABEL, upper);
    SetDlgItemTextA(dialog, IDC_LOWER_LABEL, lower);
}

void ShowLower(HWND dialog, const char* lower) {
    SetDlgItemTextA(dialog, IDC_LOWER_LABEL, lower);
}

// The model (or, after an update, its last progress title) and the tally.
void ShowTitle(HWND dialog, bool after_update) {
    char title[kDialogTextSize] = {};
    if (after_update)
        FormatProgressTitle(title, device_record.model, device_record.version,
                            std::max<std::int32_t>(shell_state.last_progress, 0));
    else
        std::snprintf(title, kDialogTextSize, "%s", device_record.model);
    AppendStationTally(title);
    SetWindowTextA(dialog, title);
}

void SetBar(std::int32_t position, COLORREF colour) {
    SendMessageA(shell_state.progress_bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    SendMessageA(shell_state.progress_bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
}

// The module's version line, as the dialog shows it at start, and an empty black bar.
void ShowModule(HWND dialog, std::int32_t version) {
    shell_state.identified_version = version;
    shell_state.last_progress = -1;
    SetBar(0, RGB(0, 0, 0));
    char line[kDialogTextSize] = {};
    FormatVersionLine(line, version, device_record.version);
    ShowLabels(dialog, device_record.model, line, shell_state.status_font);
    ShowTitle(dialog, false);
}

void Now(char (&text)[24]) {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
}

const char* IdentificationFailure(std::int32_t result) {
    switch (result) {
    case IdentifyNoVersion:
        return "not answering";
    case IdentifyWrongDevice:
        return "wrong module";
    case IdentifyNoDevice:
        return "no module the library could use";
    default:
        return "open failed";
    }
}

// Where an update stopped, from the last progress it showed.
void FailedStep(char (&text)[kVisitResultSize], std::int32_t progress) {
    if (progress < 0)
        std::snprintf(text, kVisitResultSize, "failed: update (module check)");
    else if (progress <= 95)
        std::snprintf(text, kVisitResultSize, "failed: update (writing at %d%%)",
                      static_cast<int>(progress));
    else if (progress < 99)
        std::snprintf(text, kVisitResultSize, "failed: update (restart)");
    else
        std::snprintf(text, kVisitResultSize, "failed: update (return after restart)");
}

// Runs the update on the module identification left open, as the worker does for Start.
bool UpdateModule(HWND dialog, StationVisit* visit) {
    SendMessageA(dialog, kStationMessage, UpdateBegins, 0);
    KeepSystemAwake(true);
    const std::int32_t result = RunFirmwareUpdate();
    KeepSystemAwake(false);
    SendMessageA(dialog, kUpdateEndedMessage, 0, 0);
    SendMessageA(dialog, kStationMessage, UpdateEnds, 0);
    if (result == 0) {
        std::snprintf(visit->result, kVisitResultSize, "updated");
        ++station_tally.updated;
        ShowLower(dialog, kNextText); // above it, the closing text of the update
        return true;
    }
    FailedStep(visit->result, shell_state.last_progress);
    ++station_tally.failed;
    SendMessageA(shell_state.progress_bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(RGB(200, 0, 0)));
    ShowLabels(dialog, "Programming failed", kNextText, shell_state.status_font);
    return false;
}

// The module updated before, back after its power cycle: asked again while it completes
// the update, until it runs the carried firmware or the time is up.
void VerifyModule(HWND dialog, std::int32_t version, StationVisit* visit) {
    const ULONGLONG deadline = GetTickCount64() + kVerifyWindowMs;
    ShowLabels(dialog, device_record.model, kVerifyingText, shell_state.status_font);
    for (;;) {
        const bool completing = version == kBootLoaderVersion || version == IdentifyNoVersion ||
                                version == IdentifyNoDevice || version == IdentifyOpenFailed;
        if (!completing || GetTickCount64() >= deadline)
            break;
        if (DeviceHandle != nullptr)
            CloseDevice();
        Sleep(kVerifyRetryMs);
        version = IdentifyDevice();
    }
    visit->version = version;
    if (version >= 1)
        ShowModule(dialog, version);
    if (version >= 1 && StandingOf(version) == VersionStanding::Current) {
        std::snprintf(visit->result, kVisitResultSize, "verified");
        ++station_tally.verified;
        ShowLabels(dialog, "Verified: the module runs the new firmware.", kNextText,
                   shell_state.status_font);
        return;
    }
    if (version == kBootLoaderVersion)
        std::snprintf(visit->result, kVisitResultSize, "failed: verification (boot loader, v99)");
    else if (version >= 1)
        std::snprintf(visit->result, kVisitResultSize, "failed: verification (runs v%d)",
                      static_cast<int>(version));
    else
        std::snprintf(visit->result, kVisitResultSize, "failed: verification (%s)",
                      IdentificationFailure(version));
    ++station_tally.failed;
    ShowLabels(dialog, "Verification failed: not running the new firmware.", kNextText,
               shell_state.status_font);
}

// One visit: the module is identified, then updated, verified or only recorded. AWAITING
// holds the serial of the module last updated, until it comes back. True when the visit
// ended in an update, whose title stays.
bool MeetModule(HWND dialog, const Presence& presence, char (&awaiting)[kSerialTextSize],
                StationVisit* visit) {
    std::snprintf(visit->location, kUsbTextSize, "%s", presence.location);
    if (!presence.driver) {
        std::snprintf(visit->result, kVisitResultSize, "failed: driver missing");
        ++station_tally.failed;
        ShowLabels(dialog, "No driver: run the program once without a switch.", kNextText,
                   shell_state.status_font);
        return false;
    }
    const std::int32_t version = IdentifyDevice();
    std::snprintf(visit->serial, kSerialTextSize, "%s", identified_serial);
    visit->version = version;
    const bool verifying = awaiting[0] != '\0' && std::strcmp(identified_serial, awaiting) == 0;
    awaiting[0] = '\0';
    if (verifying) {
        VerifyModule(dialog, version, visit);
        return false;
    }
    if (version < 1) {
        std::snprintf(visit->result, kVisitResultSize, "failed: identification (%s)",
                      IdentificationFailure(version));
        ++station_tally.failed;
        ShowLabels(dialog,
                   version == IdentifyWrongDevice ? "Wrong device connected!"
                   : version == IdentifyNoVersion
                       ? "The version of connected device can not be detected."
                       : "Device couldn't be accessed.",
                   kNextText, shell_state.status_font);
        return false;
    }
    ShowModule(dialog, version);
    const VersionStanding standing = StandingOf(version);
    if (standing == VersionStanding::Older) {
        if (UpdateModule(dialog, visit))
            std::snprintf(awaiting, kSerialTextSize, "%s", identified_serial);
        return true;
    }
    std::snprintf(visit->result, kVisitResultSize, "%s",
                  standing == VersionStanding::Current ? "already current" : "newer, not written");
    ShowLower(dialog, kNextText);
    return false;
}

void Record(const StationVisit& visit) {
    LogNote("station: \"%s\" at \"%s\", version %d: %s, %.1f s", visit.serial, visit.location,
            static_cast<int>(visit.version), visit.result, visit.seconds);
    if (!AppendStationRecord(visit))
        LogNote("station: the record could not be written");
}

DWORD WINAPI StationMain(LPVOID) {
    HWND dialog = shell_state.dialog_window;
    char awaiting[kSerialTextSize] = {};
    ShowTitle(dialog, false);
    for (;;) {
        ShowLabels(dialog, device_record.model, kWaitingText, shell_state.status_font);
        WaitForPresence(true);
        const ULONGLONG met = GetTickCount64();
        StationVisit visit = {};
        Now(visit.time);
        SetBar(0, RGB(0, 0, 0));
        Sleep(kArrivalSettleMs);
        const Presence presence = ScanPresence();
        if (!TakeDevice())
            return 0; // the dialog has closed
        const bool updated = MeetModule(dialog, presence, awaiting, &visit);
        GiveDeviceBack();
        visit.seconds = static_cast<double>(GetTickCount64() - met) / 1000.0;
        Record(visit);
        ShowTitle(dialog, updated);
        WaitForPresence(false);
        LogNote("station: no module present");
    }
}

} // namespace

std::int32_t StartStation() {
    HWND dialog = shell_state.dialog_window;
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE); // every update starts by itself
    // Nothing is updated that would not be recorded.
    if (!OpenStationRecord()) {
        LogNote("station: %s", kNoRecordText);
        LogSystemFailure();
        ShowLabels(dialog, device_record.model, kNoRecordText, shell_state.status_font);
        return -1;
    }
    DWORD thread_id = 0;
    HANDLE thread = CreateThread(nullptr, 0, StationMain, nullptr, 0, &thread_id);
    if (thread == nullptr) {
        ShowLabels(dialog, device_record.model, "The station could not start.",
                   shell_state.status_font);
        return -1;
    }
    CloseHandle(thread);
    station_started = true;
    return 0;
}

bool StationStarted() {
    return station_started;
}

INT_PTR StationDialogMessage(HWND dialog, WPARAM request) {
    const bool begins = request == UpdateBegins;
    if (begins)
        RaiseSessionGuard(dialog); // lowered by kUpdateEndedMessage
    EnableSystemClose(dialog, !begins);
    EnableWindow(GetDlgItem(dialog, IDC_CLOSE), begins ? FALSE : TRUE);
    return TRUE;
}
