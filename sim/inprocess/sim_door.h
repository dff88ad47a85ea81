// The in-process door to the simulated module, for native tests. One bus at a time,
// process-wide; a virtual clock that the library calls, the pauses and the tests
// advance, and that fires the model's timers (restart leave and return). Single
// threaded: the program's two threads never use the library at the same time.
//
// Link zc_sim_inprocess for the door, and zc_sim_seams for the native ScanUsbDevices
// and PauseMs the program's code calls.
#pragma once
#include "sim/model/sim_event.h"
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct SimBus;

// Builds a bus from module.ini text, plugs every module (bus order), and sets the
// virtual clock to 0. 0, or -1 with the reason in *error (the previous bus stays).
std::int32_t SimDoorStart(std::string_view module_ini, std::string* error);
// Drops the bus and clears usb_library and DeviceHandle.
void SimDoorStop();
// Fills the process-wide usb_library with eight entry points that talk to the bus
// (its module field is set non-null, as for a loaded library).
void SimDoorFillUsbLibrary();

// Virtual clock, microseconds since SimDoorStart. Advancing fires every timer due.
std::uint64_t SimDoorNowUs();
void SimDoorAdvanceUs(std::uint64_t us);

// The bus as a user handles it. Plug and unplug: 0, or -1 for an unknown serial.
std::int32_t SimDoorPlug(std::string_view serial);
std::int32_t SimDoorUnplug(std::string_view serial);
void SimDoorInstallDriver();        // binds every present module to the driver
std::int32_t SimDoorPresentCount(); // modules on the bus, with or without driver

// Observations. Unknown serials give empty results.
std::span<const std::uint8_t> SimDoorFlash(std::string_view serial); // 2 MiB
std::uint64_t SimDoorExchangeCount(); // request frames received, all modules
const std::vector<SimEvent>& SimDoorEvents();
std::int32_t SimDoorViolationCount();
std::vector<std::string> SimDoorViolations();            // "VIOLATION <serial> <what>" lines
std::string SimDoorBootResult(std::string_view serial);  // "fpga ok, mcu ok"
std::int32_t SimDoorBoots(std::string_view serial);      // completed restarts
std::string SimDoorVersionText(std::string_view serial); // what register 0x09 answers
std::string SimDoorStatusLine(std::string_view serial);  // as simctl status prints it

// The wire log ("W <serial> <hex>" / "R <serial> <hex>"), kept only when asked for.
void SimDoorRecordWire(bool on);
const std::vector<std::string>& SimDoorWireLines();

// The model itself, for tests that need more than the above (null without a bus).
SimBus* SimDoorBus();
