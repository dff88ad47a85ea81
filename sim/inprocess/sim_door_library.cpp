// The eight library entry points of the in-process door: the model's library calls
// on the door's bus, with the module's latency and the read waits on the virtual
// clock.
#include "sim/inprocess/sim_door.h"
#include "sim/model/sim_library.h"
#include "usb/usb_library.h"
#include <cstdint>

namespace {

std::uint32_t HandleValue(SiHandle handle) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

// What every read and write starts with: the checks, then the module's latency on
// the virtual clock. Null, with the status to return, when the call cannot go on.
SimBus* StartTransfer(SiHandle handle, const void* buffer, void* overlapped, SiStatus* status) {
    SimBus* bus = SimDoorBus();
    *status = !bus ? kSimInvalidHandle : (overlapped || !buffer) ? kSimInvalidParameter : kSimOk;
    if (*status != kSimOk)
        return nullptr;
    if (const SimModule* module = SimHandleModule(bus, HandleValue(handle)))
        SimDoorAdvanceUs(module->config.latency_us);
    return bus;
}

SiStatus USB_CALL DoorGetNumDevices(std::uint32_t* count) {
    SimBus* bus = SimDoorBus();
    return bus ? SimLibGetNumDevices(*bus, count) : kSimDeviceNotFound;
}

SiStatus USB_CALL DoorGetProductString(std::uint32_t index, void* text, std::uint32_t option) {
    SimBus* bus = SimDoorBus();
    return bus ? SimLibGetProductString(*bus, index, static_cast<char*>(text), option)
               : kSimDeviceNotFound;
}

SiStatus USB_CALL DoorSetTimeouts(std::uint32_t read_ms, std::uint32_t write_ms) {
    SimBus* bus = SimDoorBus();
    return bus ? SimLibSetTimeouts(bus, read_ms, write_ms) : kSimDeviceNotFound;
}

SiStatus USB_CALL DoorOpen(std::uint32_t index, SiHandle* handle) {
    SimBus* bus = SimDoorBus();
    if (!bus || !handle)
        return bus ? kSimInvalidParameter : kSimDeviceNotFound;
    std::uint32_t value = 0;
    const std::int32_t status = SimLibOpen(bus, index, &value);
    *handle = reinterpret_cast<SiHandle>(static_cast<std::uintptr_t>(value));
    return status;
}

SiStatus USB_CALL DoorClose(SiHandle handle) {
    SimBus* bus = SimDoorBus();
    return bus ? SimLibClose(bus, HandleValue(handle)) : kSimInvalidHandle;
}

SiStatus USB_CALL DoorCheckRXQueue(SiHandle handle, std::uint32_t* bytes_in_queue,
                                   std::uint32_t* queue_status) {
    SimBus* bus = SimDoorBus();
    return bus ? SimLibCheckRxQueue(bus, HandleValue(handle), bytes_in_queue, queue_status)
               : kSimInvalidHandle;
}

SiStatus USB_CALL DoorRead(SiHandle handle, void* buffer, std::uint32_t to_read,
                           std::uint32_t* bytes_returned, void* overlapped) {
    SiStatus status = kSimOk;
    SimBus* bus = StartTransfer(handle, buffer, overlapped, &status);
    if (!bus)
        return status;
    const std::uint32_t value = HandleValue(handle);
    const std::span<std::uint8_t> span(static_cast<std::uint8_t*>(buffer), to_read);
    status = SimLibRead(bus, value, span, bytes_returned, false);
    if (status != kSimReadWouldBlock)
        return status;
    SimDoorAdvanceUs(SimReadWaitUs(*bus, *SimHandleModule(bus, value)));
    return SimLibRead(bus, value, span, bytes_returned, true);
}

SiStatus USB_CALL DoorWrite(SiHandle handle, const void* buffer, std::uint32_t to_write,
                            std::uint32_t* bytes_written, void* overlapped) {
    SiStatus status = kSimOk;
    SimBus* bus = StartTransfer(handle, buffer, overlapped, &status);
    if (!bus)
        return status;
    return SimLibWrite(
        bus, HandleValue(handle),
        std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(buffer), to_write),
        bytes_written);
}

// Stands for the loaded library's module handle: non-null, never dereferenced.
int door_library_module = 0;

} // namespace

void SimDoorFillUsbLibrary() {
    usb_library.module = &door_library_module;
    usb_library.SI_GetNumDevices = DoorGetNumDevices;
    usb_library.SI_GetProductString = DoorGetProductString;
    usb_library.SI_SetTimeouts = DoorSetTimeouts;
    usb_library.SI_Open = DoorOpen;
    usb_library.SI_Close = DoorClose;
    usb_library.SI_CheckRXQueue = DoorCheckRXQueue;
    usb_library.SI_Read = DoorRead;
    usb_library.SI_Write = DoorWrite;
}
