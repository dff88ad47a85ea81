// The USB library's eight entry points as the program calls them, bound at run time
// (by BindUsbLibrary on Windows, by the simulated module in native tests), and the
// one handle of the opened module. Portable code reaches the library only here.
#pragma once
#include <cstdint>

#ifdef _WIN32
#define USB_CALL __stdcall
#else
#define USB_CALL
#endif

using SiStatus = std::int32_t; // 0 is success
using SiHandle = void*;

using SiGetNumDevicesFn = SiStatus(USB_CALL*)(std::uint32_t* count);
using SiGetProductStringFn = SiStatus(USB_CALL*)(std::uint32_t index, void* text,
                                                 std::uint32_t option);
using SiSetTimeoutsFn = SiStatus(USB_CALL*)(std::uint32_t read_ms, std::uint32_t write_ms);
using SiOpenFn = SiStatus(USB_CALL*)(std::uint32_t index, SiHandle* handle);
using SiCloseFn = SiStatus(USB_CALL*)(SiHandle handle);
using SiCheckRXQueueFn = SiStatus(USB_CALL*)(SiHandle handle, std::uint32_t* bytes_in_queue,
                                             std::uint32_t* queue_status);
using SiReadFn = SiStatus(USB_CALL*)(SiHandle handle, void* buffer, std::uint32_t to_read,
                                     std::uint32_t* bytes_returned, void* overlapped);
using SiWriteFn = SiStatus(USB_CALL*)(SiHandle handle, const void* buffer, std::uint32_t to_write,
                                      std::uint32_t* bytes_written, void* overlapped);

inline constexpr char kUsbLibraryFileName[] = "SiUSBXp.dll"; // in the system directory

inline constexpr std::uint32_t SI_RX_READY = 0x02; // queue status: received data waiting
// Statuses of a read or write whose time-out (SI_SetTimeouts) passed.
inline constexpr SiStatus SI_READ_TIMED_OUT = 0x0D;
inline constexpr SiStatus SI_WRITE_TIMED_OUT = 0x0E;

struct UsbLibrary {
    void* module; // the loaded library, null when none
    SiGetNumDevicesFn SI_GetNumDevices;
    SiGetProductStringFn SI_GetProductString;
    SiSetTimeoutsFn SI_SetTimeouts;
    SiOpenFn SI_Open;
    SiCloseFn SI_Close;
    SiCheckRXQueueFn SI_CheckRXQueue;
    SiReadFn SI_Read;
    SiWriteFn SI_Write;
};

extern UsbLibrary usb_library;
extern SiHandle DeviceHandle; // 0 when no module is open
