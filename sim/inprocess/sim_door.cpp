#include "sim/inprocess/sim_door.h"
#include "sim/model/module_config.h"
#include "sim/model/register_protocol.h"
#include "sim/model/sim_bus.h"
#include "sim/model/status_line.h"
#include "usb/usb_library.h"

namespace {

SimBus door_bus;
bool door_active = false;

SimModule* Module(std::string_view serial) {
    const std::int32_t index = door_active ? SimFindModule(door_bus, serial) : -1;
    return index < 0 ? nullptr : &door_bus.modules[static_cast<std::size_t>(index)];
}

} // namespace

std::int32_t SimDoorStart(std::string_view module_ini, std::string* error) {
    std::vector<SimModuleConfig> configs;
    if (SimParseModuleIni(module_ini, &configs, error) != 0)
        return -1;
    door_bus = SimMakeBus(configs);
    door_active = true;
    DeviceHandle = nullptr; // a handle of an earlier bus would name this bus's modules
    for (SimModule& module : door_bus.modules)
        SimPlug(&door_bus, &module);
    return 0;
}

void SimDoorStop() {
    door_bus = SimBus{};
    door_active = false;
    usb_library = UsbLibrary{};
    DeviceHandle = nullptr;
}

SimBus* SimDoorBus() {
    return door_active ? &door_bus : nullptr;
}

std::uint64_t SimDoorNowUs() {
    return door_bus.now_us;
}

void SimDoorAdvanceUs(std::uint64_t us) {
    if (door_active)
        SimBusAdvance(&door_bus, door_bus.now_us + us);
}

std::int32_t SimDoorPlug(std::string_view serial) {
    SimModule* module = Module(serial);
    if (!module)
        return -1;
    SimPlug(&door_bus, module);
    return 0;
}

std::int32_t SimDoorUnplug(std::string_view serial) {
    SimModule* module = Module(serial);
    if (!module)
        return -1;
    SimUnplug(&door_bus, module);
    return 0;
}

void SimDoorInstallDriver() {
    if (door_active)
        SimInstallDriver(&door_bus);
}

std::int32_t SimDoorPresentCount() {
    return door_active ? SimPresentCount(door_bus) : 0;
}

std::span<const std::uint8_t> SimDoorFlash(std::string_view serial) {
    const SimModule* module = Module(serial);
    return module ? std::span<const std::uint8_t>(module->flash.bytes)
                  : std::span<const std::uint8_t>();
}

std::uint64_t SimDoorExchangeCount() {
    std::uint64_t count = 0;
    for (const SimModule& module : door_bus.modules)
        count += module.requests_total;
    return count;
}

const std::vector<SimEvent>& SimDoorEvents() {
    return door_bus.events;
}

std::int32_t SimDoorViolationCount() {
    std::int32_t count = 0;
    for (const SimModule& module : door_bus.modules)
        count += module.violations;
    return count;
}

std::vector<std::string> SimDoorViolations() {
    std::vector<std::string> lines;
    for (const SimEvent& event : door_bus.events)
        if (event.line.starts_with("VIOLATION "))
            lines.push_back(event.line);
    return lines;
}

std::string SimDoorBootResult(std::string_view serial) {
    const SimModule* module = Module(serial);
    return module ? SimBootResultText(module->boot) : std::string();
}

std::int32_t SimDoorBoots(std::string_view serial) {
    const SimModule* module = Module(serial);
    return module ? module->boots : 0;
}

std::string SimDoorVersionText(std::string_view serial) {
    const SimModule* module = Module(serial);
    return module ? SimVersionText(*module) : std::string();
}

std::string SimDoorStatusLine(std::string_view serial) {
    const SimModule* module = Module(serial);
    return module ? SimStatusLine(*module) : std::string();
}

void SimDoorRecordWire(bool on) {
    door_bus.record_wire = on;
}

const std::vector<std::string>& SimDoorWireLines() {
    return door_bus.wire_lines;
}
