// The module's registers: one checked request body in, at most one reply body out.
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reply status (position 2): 0 accepted, anything else refused.
inline constexpr std::uint8_t kReplyAccepted = 0x00;
inline constexpr std::uint8_t kReplyBadSequence = 0x01;
inline constexpr std::uint8_t kReplyUnknownRequest = 0x02;
inline constexpr std::uint8_t kReplyLocked = 0x03;
inline constexpr std::uint8_t kReplyBadTransfer = 0x04;
inline constexpr std::uint8_t kReplyBitRaised = 0x05; // programmed, but a bit went 0 to 1

inline constexpr std::size_t kFlashReadChunk = 128;

struct SimReply {
    bool send = false; // false: no reply (bad fixed bytes, the restart request)
    std::vector<std::uint8_t> body;
    std::uint64_t busy_us = 0; // the flash's work before the reply comes
};

// Checks and executes one request body whose framing, Length and checksum are good;
// logs its violations. The module is open and present.
SimReply SimExecuteRequest(SimBus* bus, SimModule* module, std::span<const std::uint8_t> body);

// The five characters register 0x09 answers now (version text fault included).
std::string SimVersionText(const SimModule& module);
