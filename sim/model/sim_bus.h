// The simulated bus: its modules in bus order, their state, the host's open handle
// on each, the clock the door supplies, and the logs. Every function that changes
// something takes the bus, so that events and violations land in its logs.
#pragma once
#include "sim/model/boot_check.h"
#include "sim/model/flash.h"
#include "sim/model/frame_codec.h"
#include "sim/model/module_config.h"
#include "sim/model/sim_event.h"
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum class SimRestartPhase { None, Leaving, Away };

struct SimModule {
    SimModuleConfig config;
    SimFlash flash;

    // Kept between processes (state-<serial>.txt).
    bool present = false;
    bool driver_installed = false;
    bool unlocked = false;             // register 0x42 was written since power-on
    SimBootResult boot;                // what the bootloader found last
    std::uint16_t running_version = 0; // 0 while in the bootloader
    std::int32_t boots = 0;            // restarts completed
    std::int32_t violations = 0;
    SimRestartPhase restart = SimRestartPhase::None;
    std::uint64_t restart_due_us = 0; // when the restart's next step happens

    // The host's handle; lives within one process.
    bool open = false;
    std::uint32_t open_generation = 0;
    std::uint32_t requests_since_open = 0;
    bool has_sequence = false;
    std::uint8_t last_sequence = 0;
    SimFrameParser parser;
    std::deque<std::uint8_t> pending_reply; // bytes the host has not read yet
    std::uint64_t reply_due_us = 0;         // they reach the host then (the flash at work)
    bool read_latched = false;
    std::uint32_t read_address = 0;
    std::uint64_t requests_total = 0;
};

struct SimBus {
    std::vector<SimModule> modules;
    std::uint64_t now_us = 0;
    std::uint32_t host_read_timeout_ms = 0xFFFFFFFF; // until SI_SetTimeouts says
    std::vector<SimEvent> events;
    bool record_wire = false;
    std::vector<std::string> wire_lines;
};

// A bus of unplugged modules with the configured driver state and no flash yet.
SimBus SimMakeBus(const std::vector<SimModuleConfig>& configs);
// Index of the module with that serial, or -1.
std::int32_t SimFindModule(const SimBus& bus, std::string_view serial);

// Moves the clock to now_us, running every restart step due on the way, in order.
void SimBusAdvance(SimBus* bus, std::uint64_t now_us);
// The earliest restart step still to come, or UINT64_MAX.
std::uint64_t SimNextTimerUs(const SimBus& bus);

// Power on: creates and seeds the flash at the first plug, runs the bootloader's
// checks (not counted as a boot), logs `plug`. Nothing when already present.
void SimPlug(SimBus* bus, SimModule* module);
// Off the bus: the handle dies and a restart in progress is forgotten. Logs `unplug`.
void SimUnplug(SimBus* bus, SimModule* module);
// The host's handle dies with the module's presence (here, or seen in another
// process's state); nothing is logged.
void SimDropHostHandle(SimModule* module);
// Binds every present module to the driver; logs `driver-installed` once.
void SimInstallDriver(SimBus* bus);

// The restart request: leave after restart_leave_ms, return restart_return_ms later.
void SimRequestRestart(SimBus* bus, SimModule* module);

std::int32_t SimPresentCount(const SimBus& bus);

void SimLogEvent(SimBus* bus, const SimModule* module, std::string line);
void SimLogViolation(SimBus* bus, SimModule* module, const std::string& what);
