// The stand-in SiUSBXp.dll: the vendor library's eight entry points, running the
// simulated modules of the state directory (ZANDACORE_SIM_DIR) in real time. Every
// call is one use of the bus shared with simctl and the stand-in installer; a
// state directory that cannot be reached looks like a bus without modules.
#include "sim/dll/timer_thread.h"
#include "sim/model/sim_library.h"
#include "sim/windows/bus_session_win.h"
#include "usb/usb_library.h"
#include <type_traits>
#include <windows.h>

namespace {

void Report(const std::string& error) {
    OutputDebugStringA(("SiUSBXp stand-in: " + error + "\n").c_str());
}

template <typename Call> SiStatus OnBus(Call call) {
    std::string error;
    SimBus* bus = SimSessionBegin(&error);
    if (!bus) {
        Report(error);
        return kSimDeviceNotFound;
    }
    const SiStatus status = call(bus);
    SimTimerThreadWatch();
    if (SimSessionEnd(&error) != 0)
        Report(error);
    return status;
}

std::uint32_t HandleValue(SiHandle handle) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

void WaitUs(std::uint64_t us) {
    const std::uint64_t end = SimRealNowUs() + us;
    for (std::uint64_t now = SimRealNowUs(); now < end; now = SimRealNowUs())
        Sleep(end - now >= 2000 ? static_cast<DWORD>((end - now) / 1000 - 1) : 0);
}

// A read or write: the module's latency first, waited out on the real clock with
// the bus free for the other processes and the timer thread.
template <typename Call> SiStatus Transfer(SiHandle handle, Call call) {
    std::uint32_t latency_us = 0;
    const SiStatus status = OnBus([&](SimBus* bus) {
        const SimModule* module = SimHandleModule(bus, HandleValue(handle));
        if (!module)
            return kSimInvalidHandle;
        latency_us = module->config.latency_us;
        return latency_us == 0 ? call(bus) : kSimOk;
    });
    if (latency_us == 0)
        return status;
    WaitUs(latency_us);
    return OnBus(call);
}

} // namespace

extern "C" {

SiStatus USB_CALL SI_GetNumDevices(std::uint32_t* count) {
    if (count)
        *count = 0;
    return OnBus([&](SimBus* bus) { return SimLibGetNumDevices(*bus, count); });
}

SiStatus USB_CALL SI_GetProductString(std::uint32_t index, void* text, std::uint32_t option) {
    return OnBus([&](SimBus* bus) {
        return SimLibGetProductString(*bus, index, static_cast<char*>(text), option);
    });
}

SiStatus USB_CALL SI_SetTimeouts(std::uint32_t read_ms, std::uint32_t write_ms) {
    return OnBus([&](SimBus* bus) { return SimLibSetTimeouts(bus, read_ms, write_ms); });
}

SiStatus USB_CALL SI_Open(std::uint32_t index, SiHandle* handle) {
    if (!handle)
        return kSimInvalidParameter;
    *handle = nullptr;
    return OnBus([&](SimBus* bus) {
        std::uint32_t value = 0;
        const std::int32_t status = SimLibOpen(bus, index, &value);
        *handle = reinterpret_cast<SiHandle>(static_cast<std::uintptr_t>(value));
        return status;
    });
}

SiStatus USB_CALL SI_Close(SiHandle handle) {
    return OnBus([&](SimBus* bus) { return SimLibClose(bus, HandleValue(handle)); });
}

SiStatus USB_CALL SI_CheckRXQueue(SiHandle handle, std::uint32_t* bytes_in_queue,
                                  std::uint32_t* queue_status) {
    return OnBus([&](SimBus* bus) {
        return SimLibCheckRxQueue(bus, HandleValue(handle), bytes_in_queue, queue_status);
    });
}

SiStatus USB_CALL SI_Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                          std::uint32_t* bytes_returned, void* overlapped) {
    if (overlapped || !buffer)
        return kSimInvalidParameter;
    const std::uint32_t value = HandleValue(handle);
    const std::span<std::uint8_t> span(static_cast<std::uint8_t*>(buffer), to_read);
    std::uint64_t wait_us = 0;
    const SiStatus status = Transfer(handle, [&](SimBus* bus) {
        const std::int32_t read = SimLibRead(bus, value, span, bytes_returned, false);
        if (read == kSimReadWouldBlock)
            wait_us = SimReadWaitUs(*bus, *SimHandleModule(bus, value));
        return read;
    });
    if (status != kSimReadWouldBlock)
        return status;
    // Replies are queued as requests arrive, each due when the flash is done, so the
    // wait ends with the reply due, in a time-out, or in a dead handle when the module
    // left meanwhile.
    WaitUs(wait_us);
    return OnBus([&](SimBus* bus) { return SimLibRead(bus, value, span, bytes_returned, true); });
}

SiStatus USB_CALL SI_Write(SiHandle handle, const void* buffer, std::uint32_t to_write,
                           std::uint32_t* bytes_written, void* overlapped) {
    if (overlapped || !buffer)
        return kSimInvalidParameter;
    const std::span<const std::uint8_t> span(static_cast<const std::uint8_t*>(buffer), to_write);
    return Transfer(handle, [&](SimBus* bus) {
        return SimLibWrite(bus, HandleValue(handle), span, bytes_written);
    });
}

} // extern "C"

// The exports have exactly the types the program binds them to.
static_assert(std::is_same_v<decltype(&SI_GetNumDevices), SiGetNumDevicesFn>);
static_assert(std::is_same_v<decltype(&SI_GetProductString), SiGetProductStringFn>);
static_assert(std::is_same_v<decltype(&SI_SetTimeouts), SiSetTimeoutsFn>);
static_assert(std::is_same_v<decltype(&SI_Open), SiOpenFn>);
static_assert(std::is_same_v<decltype(&SI_Close), SiCloseFn>);
static_assert(std::is_same_v<decltype(&SI_CheckRXQueue), SiCheckRXQueueFn>);
static_assert(std::is_same_v<decltype(&SI_Read), SiReadFn>);
static_assert(std::is_same_v<decltype(&SI_Write), SiWriteFn>);
