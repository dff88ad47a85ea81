// This process's use of the simulated bus that the prefix's processes (the program's
// stand-in library, simctl, the stand-in installer) share through the state
// directory. A use runs under a lock named after the directory: it begins by taking
// in what other processes wrote and moving the model's clock to the real time (which
// runs any restart step due), and ends by writing what changed and bringing the
// registry in step. A module that came is shown; one that left is hidden and looked
// at again 25 ms later, since a scan running during the deletion can re-create its
// key (with the class GUID alone).
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <string>

// Begins a use. The bus, or null (and nothing held) when ZANDACORE_SIM_DIR is unset
// or the state directory cannot be read; *error says why.
SimBus* SimSessionBegin(std::string* error);
// Ends the use begun. 0, or -1 with the reason; the lock is released either way.
std::int32_t SimSessionEnd(std::string* error);

// Within a use: when the next timed step is due (a restart step or a re-check of a
// hidden key), in microseconds of the real clock; UINT64_MAX when none.
std::uint64_t SimSessionNextDueUs();

// Outside a use: waits for this process's re-checks and runs them (for a tool that
// hid a module and is about to exit).
void SimSessionSettle();

// The real clock the model runs on here: microseconds of the system time, the same
// in every process.
std::uint64_t SimRealNowUs();
