#include "sim/model/sim_bus.h"
#include "sim/model/factory_image.h"
#include <limits>

namespace {

// The blink is put 3 ms after the configured leave time and lasts 4 ms, so that a
// host polling every 10 ms from the restart request never sees it.
constexpr std::uint64_t kBlinkOffsetUs = 3000;
constexpr std::uint64_t kBlinkLengthUs = 4000;

std::uint32_t BootloaderVersion(const SimModule& module) {
    return module.config.bootloader & 0x7Fu;
}

// The bootloader checks the flash and starts the firmware only when the
// microcontroller image is good; otherwise it stays in the bootloader.
void RunBootloader(SimModule* module) {
    module->boot = SimRunBootChecks(module->flash, BootloaderVersion(*module));
    module->running_version =
        module->boot.mcu == SimImageState::Ok ? SimFlashImageVersion(module->flash) : 0;
    module->unlocked = false;
}

void Leave(SimBus* bus, SimModule* module) {
    module->present = false;
    SimDropHostHandle(module);
    module->unlocked = false;
    SimLogEvent(bus, module, "leave");
    if (SimHasFault(module->config.faults, SimFaultKind::RestartNeverReturns)) {
        module->restart = SimRestartPhase::None;
        return;
    }
    module->restart = SimRestartPhase::Away;
    module->restart_due_us += SimHasFault(module->config.faults, SimFaultKind::RestartBlink)
                                  ? kBlinkLengthUs
                                  : std::uint64_t{module->config.restart_return_ms} * 1000;
}

void Return(SimBus* bus, SimModule* module) {
    module->restart = SimRestartPhase::None;
    RunBootloader(module);
    ++module->boots;
    SimLogEvent(bus, module, "boot " + SimBootResultText(module->boot));
    module->present = true;
    SimLogEvent(bus, module, "return");
}

} // namespace

SimBus SimMakeBus(const std::vector<SimModuleConfig>& configs) {
    SimBus bus;
    for (const SimModuleConfig& config : configs) {
        SimModule module;
        module.config = config;
        module.driver_installed = config.driver_installed;
        for (const SimFault& fault : config.faults)
            if (fault.kind == SimFaultKind::StuckBit)
                module.flash.stuck_bits.push_back(fault.value);
        bus.modules.push_back(std::move(module));
    }
    return bus;
}

std::int32_t SimFindModule(const SimBus& bus, std::string_view serial) {
    for (std::size_t i = 0; i < bus.modules.size(); ++i)
        if (bus.modules[i].config.serial == serial)
            return static_cast<std::int32_t>(i);
    return -1;
}

std::uint64_t SimNextTimerUs(const SimBus& bus) {
    std::uint64_t next = std::numeric_limits<std::uint64_t>::max();
    for (const SimModule& module : bus.modules)
        if (module.restart != SimRestartPhase::None && module.restart_due_us < next)
            next = module.restart_due_us;
    return next;
}

void SimBusAdvance(SimBus* bus, std::uint64_t now_us) {
    while (true) {
        const std::uint64_t due = SimNextTimerUs(*bus);
        if (due > now_us)
            break;
        if (due > bus->now_us)
            bus->now_us = due;
        for (SimModule& module : bus->modules) {
            if (module.restart == SimRestartPhase::None || module.restart_due_us != due)
                continue;
            if (module.restart == SimRestartPhase::Leaving)
                Leave(bus, &module);
            else
                Return(bus, &module);
            break;
        }
    }
    if (now_us > bus->now_us)
        bus->now_us = now_us;
}

void SimDropHostHandle(SimModule* module) {
    module->open = false;
    module->pending_reply.clear();
}

void SimPlug(SimBus* bus, SimModule* module) {
    if (module->present)
        return;
    if (module->flash.bytes.empty())
        SimSeedFactoryFlash(&module->flash, module->config.firmware, BootloaderVersion(*module));
    RunBootloader(module);
    module->present = true;
    SimLogEvent(bus, module, "plug");
}

void SimUnplug(SimBus* bus, SimModule* module) {
    if (!module->present && module->restart == SimRestartPhase::None)
        return;
    module->present = false;
    module->restart = SimRestartPhase::None;
    SimDropHostHandle(module);
    SimLogEvent(bus, module, "unplug");
}

void SimInstallDriver(SimBus* bus) {
    for (SimModule& module : bus->modules)
        if (module.present)
            module.driver_installed = true;
    SimLogEvent(bus, nullptr, "driver-installed");
}

void SimRequestRestart(SimBus* bus, SimModule* module) {
    SimLogEvent(bus, module, "restart-request");
    if (SimHasFault(module->config.faults, SimFaultKind::RestartNeverLeaves) ||
        module->restart != SimRestartPhase::None)
        return;
    module->restart = SimRestartPhase::Leaving;
    module->restart_due_us = bus->now_us + std::uint64_t{module->config.restart_leave_ms} * 1000;
    if (SimHasFault(module->config.faults, SimFaultKind::RestartBlink))
        module->restart_due_us += kBlinkOffsetUs;
}

std::int32_t SimPresentCount(const SimBus& bus) {
    std::int32_t count = 0;
    for (const SimModule& module : bus.modules)
        count += module.present ? 1 : 0;
    return count;
}

void SimLogEvent(SimBus* bus, const SimModule* module, std::string line) {
    bus->events.push_back(
        {bus->now_us, module ? module->config.serial : std::string(), std::move(line)});
}

void SimLogViolation(SimBus* bus, SimModule* module, const std::string& what) {
    ++module->violations;
    SimLogEvent(bus, module, "VIOLATION " + module->config.serial + " " + what);
}
