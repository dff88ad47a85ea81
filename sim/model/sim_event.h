// One line of the simulator's event log, kept with when and on which module it happened.
#pragma once
#include <cstdint>
#include <string>

struct SimEvent {
    std::uint64_t time_us; // on the clock the door supplies
    std::string serial;    // empty for bus-wide events (driver-installed)
    std::string line;      // exactly as written to events.log
};
