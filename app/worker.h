// The thread that runs one firmware update while the main thread keeps the dialog
// responsive.
#pragma once
#include <windows.h>

#include <cstdint>

// Starts the update's thread; a Start that arrives once an update was started is
// ignored, so at most one update runs per process. A thread that cannot be created
// leaves Start enabled for another try. Returns 0.
std::int32_t StartWorker();

DWORD WINAPI WorkerMain(LPVOID unused);

// The caption's close box and the system menu's Close, greyed while the device is in use.
void EnableSystemClose(HWND dialog, bool enabled);
