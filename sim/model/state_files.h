// The state directory's files: flash-<serial>.bin (the 2 MiB flash),
// state-<serial>.txt (what a module keeps between processes), and the two logs,
// wire.log and events.log, to which lines are only ever appended.
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::string SimFlashFileName(std::string_view serial); // "flash-A17.bin"
std::string SimStateFileName(std::string_view serial); // "state-A17.txt"
inline constexpr const char* kSimWireLog = "wire.log";
inline constexpr const char* kSimEventLog = "events.log";
inline constexpr const char* kSimModuleIni = "module.ini";

// state-<serial>.txt: "key = value" lines, every key present, unknown keys refused.
std::string SimFormatState(const SimModule& module);
std::int32_t SimParseState(std::string_view text, SimModule* module, std::string* error);

// The flash file, when the flash changed since it was last written or read: only the
// changed bytes when the file exists (2 MiB is too much to write after every
// request). 0 or -1.
std::int32_t SimSaveFlash(const std::string& dir, SimModule* module, std::string* error);
// SimSaveFlash, then the module's state file. 0 or -1.
std::int32_t SimSaveModule(const std::string& dir, SimModule* module, std::string* error);
// 1 when the state file was there and was loaded (with the flash file when there),
// 0 when there is no state file (a module never plugged), -1 with the reason.
std::int32_t SimLoadModule(const std::string& dir, SimModule* module, std::string* error);

// Appends the events not yet written (from *events_written on, which it advances)
// and every recorded wire line (which it clears). 0 or -1.
std::int32_t SimAppendLogs(const std::string& dir, SimBus* bus, std::size_t* events_written,
                           std::string* error);

// A whole file as bytes or text. 0, or -1 when it cannot be read.
std::int32_t SimReadFile(const std::string& path, std::string* contents);
