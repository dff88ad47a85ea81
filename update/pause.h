// The update's waits. Sleep on Windows; native tests link a virtual clock shared with
// the simulated module, so long waits cost no real time.
#pragma once
#include <cstdint>

void PauseMs(std::uint32_t ms);
