// What the USB library's eight calls do on the simulated bus, for both doors. Time
// is the door's business: it advances the bus clock by the module's latency before
// a read or write, and waits (virtually or really) when a read would block.
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <span>

// Library status values; 0 is success.
inline constexpr std::int32_t kSimOk = 0x00;
inline constexpr std::int32_t kSimInvalidHandle = 0x01;
inline constexpr std::int32_t kSimInvalidParameter = 0x06;
inline constexpr std::int32_t kSimDeviceIoFailed = 0x08;
inline constexpr std::int32_t kSimReadTimedOut = 0x0D;
inline constexpr std::int32_t kSimDeviceNotFound = 0xFF;
// Not a library status: a read found no data and the door must wait before asking
// again with waited set.
inline constexpr std::int32_t kSimReadWouldBlock = -1;

inline constexpr std::uint32_t kSimRxReady = 0x02; // queue status: data waiting
inline constexpr std::uint32_t kSimMaxTransfer = 64;

// The library sees only present modules bound to its driver; indexes count those.
std::int32_t SimLibGetNumDevices(const SimBus& bus, std::uint32_t* count);
// Option 0, the serial-number string, is the only one the module answers.
std::int32_t SimLibGetProductString(const SimBus& bus, std::uint32_t index, char* text,
                                    std::uint32_t option);
// Writes never wait, so only the read time-out is kept.
std::int32_t SimLibSetTimeouts(SimBus* bus, std::uint32_t read_ms, std::uint32_t write_ms);
std::int32_t SimLibOpen(SimBus* bus, std::uint32_t index, std::uint32_t* handle);
std::int32_t SimLibClose(SimBus* bus, std::uint32_t handle);
std::int32_t SimLibCheckRxQueue(SimBus* bus, std::uint32_t handle, std::uint32_t* bytes,
                                std::uint32_t* status);
std::int32_t SimLibWrite(SimBus* bus, std::uint32_t handle, std::span<const std::uint8_t> bytes,
                         std::uint32_t* written);
// Up to 64 bytes (and no more than asked) of the pending reply stream. With nothing
// pending, or a reply not yet due: kSimReadWouldBlock, or kSimReadTimedOut once the
// door has waited.
std::int32_t SimLibRead(SimBus* bus, std::uint32_t handle, std::span<std::uint8_t> buffer,
                        std::uint32_t* returned, bool waited);

// The open module behind a handle, or null when the handle is closed or dead.
SimModule* SimHandleModule(SimBus* bus, std::uint32_t handle);
// How long a read that found nothing waits before asking again with waited set: until
// the pending reply is due, at most the host's read time-out (capped by the module's
// read_timeout_cap_ms, if set).
std::uint64_t SimReadWaitUs(const SimBus& bus, const SimModule& module);
