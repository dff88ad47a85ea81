// The faults a module can be told to have (module.ini key `fault`).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class SimFaultKind {
    ReplyCorrupt,        // @N: one body byte of the reply to request N changed
    ReplyTruncated,      // @N: the reply to request N stops before its end marker
    ReplyMissing,        // @N: request N gets no reply
    Disconnect,          // @N: the module is pulled after request N
    StuckBit,            // @ADDR: bit 0 of that flash byte never programs to 0
    Locked,              // the unlock register is ignored
    OpenFails,           // opening the module fails
    RxPending,           // a stale reply waits when the module is opened
    RestartNeverLeaves,  // the restart request is ignored
    RestartNeverReturns, // the module leaves and never comes back
    RestartBlink,        // the module leaves and is back within 5 ms
    VersionText,         // =TEXT: register 0x09 answers TEXT
};

struct SimFault {
    SimFaultKind kind;
    std::uint32_t value; // request number (from 1) or flash address
    std::string text;    // VersionText only
};

// Parses the comma-separated list ("none", or one or more faults). 0, or -1 with the
// reason in *error.
std::int32_t SimParseFaultList(std::string_view list, std::vector<SimFault>* faults,
                               std::string* error);

bool SimHasFault(const std::vector<SimFault>& faults, SimFaultKind kind);
bool SimHasFaultAt(const std::vector<SimFault>& faults, SimFaultKind kind, std::uint32_t value);
// The fault of that kind, or null.
const SimFault* SimFindFault(const std::vector<SimFault>& faults, SimFaultKind kind);
