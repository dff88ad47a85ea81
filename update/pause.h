// The update's waits. Sleep on Windows; native tests link a virtual clock shared with
// the simulated module, so long waits cost no real time.
#pragma once
#include <cstdint>

void PauseMs(std::uint32_t ms);

// Around the restart and the reset wait, whose 10 ms polls must last 10 ms: Windows
// otherwise rounds each Sleep up to a whole timer tick (about 15.6 ms). Every
// BeginFinePauses is matched by one EndFinePauses.
void BeginFinePauses();
void EndFinePauses();
