// The module's side of the host's writes: frames are taken apart, requests counted
// and executed, replies queued for the host's reads, and the reply faults applied.
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <span>

void SimReceiveHostBytes(SimBus* bus, SimModule* module, std::span<const std::uint8_t> bytes);

// The stale reply the rx-pending fault leaves waiting at open.
void SimQueueStaleReply(SimModule* module);
