// The process-wide values of the application shell, shared by the start-up sequence,
// the main dialog and the worker thread. No lock: see the comments on each value.
#pragma once
#include "app/command_line.h"
#include "usb/usb_scan.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

struct ShellState {
    HINSTANCE instance_handle = nullptr;
    UsbDeviceEntry* usb_devices[kMaxUsbDevices] = {}; // the start-up scan's entries
    std::int32_t usb_device_count = 0;
    std::int32_t identified_version = 0;
    HICON app_icon = nullptr;
    HBITMAP banner_bitmap = nullptr;
    HBRUSH background_brush = nullptr;
    HFONT status_font = nullptr;
    HFONT finish_font = nullptr;
    // The closing texts' fonts, chosen when the dialog opens: finish_font, or a smaller
    // size of it where a text would not fit its label (FitClosingFont).
    HFONT upper_closing_font = nullptr;
    HFONT lower_closing_font = nullptr;
    HWND dialog_window = nullptr;
    HWND progress_bar = nullptr;
    std::int32_t last_progress = -1; // written only by SetProgress
    HANDLE worker_thread = nullptr;
    // True from the Start click until the worker has finished with the device; while
    // it is set the dialog refuses to close, so the library is never released under
    // a running update.
    std::atomic<bool> update_running = false;
    // True while the update procedure runs; read and written on the main thread only.
    bool session_guarded = false;
    RunMode run_mode = RunMode::Attended; // from the command line, before anything else
    // The last update's result (-1 until one has ended), for /update's exit code.
    std::atomic<std::int32_t> update_result = -1;
};

extern ShellState shell_state;
