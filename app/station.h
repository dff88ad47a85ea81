// The station: one module after another in the same window. Each module that comes is
// identified; an older one is updated at once, and once the technician has power-cycled
// it, it is identified again and recorded as verified when it runs the carried firmware.
// Every visit is a line of the station's record.
#pragma once
#include <windows.h>

#include <cstdint>

// Sent by the station's thread to the dialog, with one of the StationRequest values:
// what only the dialog's own thread may do.
inline constexpr UINT kStationMessage = WM_APP + 2;

// Starts the station's thread; called once the dialog exists. Returns 0, or -1 when the
// thread could not be started (the dialog then says so and only Close works).
std::int32_t StartStation();

// True once StartStation has started the station.
bool StationStarted();

// The dialog's side of kStationMessage.
INT_PTR StationDialogMessage(HWND dialog, WPARAM request);
