// The update's pauses in native tests: the virtual clock moves on, and the simulated
// module's timers fire, without any real waiting.
#include "sim/inprocess/sim_door.h"
#include "update/pause.h"

void PauseMs(std::uint32_t ms) {
    SimDoorAdvanceUs(std::uint64_t{ms} * 1000);
}

// The virtual clock has no resolution to raise.
void BeginFinePauses() {}
void EndFinePauses() {}
