// A module on the bus as SetupAPI sees it: its key
// HKLM\System\CurrentControlSet\Enum\USB\VID_16C0&PID_0618\<serial>.
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <string>

// Writes the key's values: hardware ids, description, location, and the class GUID
// last, because SetupAPI lists a key only once it has one. 0 or -1.
std::int32_t SimShowInRegistry(const SimModule& module);
// Deletes the key with everything below it; 0 also when it was not there, else -1.
std::int32_t SimHideFromRegistry(const std::string& serial);
