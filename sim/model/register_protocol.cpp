#include "sim/model/register_protocol.h"
#include "sim/model/log_lines.h"
#include <cstdio>

namespace {

constexpr std::uint8_t kAccessWrite = 0x80;
constexpr std::uint8_t kAccessRead = 0x00;
constexpr std::uint8_t kIdentifyBody[] = {0x07, 0x00, 0x1F, 0xFE, 0x00, 0x02, 0x00, 0x00};
constexpr std::size_t kIdentifySequenceAt = 6;
constexpr std::size_t kHeaderSize = 7; // Length .. Register

constexpr std::uint8_t kRegisterVersion = 0x09;
constexpr std::uint8_t kRegisterFlashPort = 0x30;
constexpr std::uint8_t kRegisterBootloader = 0x41;
constexpr std::uint8_t kRegisterUnlock = 0x42;

constexpr std::uint8_t kOpErase = 0xD8;
constexpr std::uint8_t kOpProgram = 0x02;
constexpr std::uint8_t kOpRead = 0x03;
constexpr std::uint8_t kRestartRequest = 0xAA;
constexpr std::uint8_t kFlashReadPrefix = 0x84; // echo of the read command's count

struct Request {
    bool identification;
    std::uint8_t access;
    std::uint8_t sequence;
    std::uint8_t reg;
    std::span<const std::uint8_t> payload;
};

// The fixed bytes decide what a body is; a body that is neither is dropped.
bool TakeApart(std::span<const std::uint8_t> body, Request* request) {
    if (body.size() == sizeof kIdentifyBody) {
        bool same = true;
        for (std::size_t i = 0; i < body.size(); ++i)
            same = same && (i == kIdentifySequenceAt || body[i] == kIdentifyBody[i]);
        if (same) {
            *request = {true, kAccessRead, body[kIdentifySequenceAt], 0, {}};
            return true;
        }
    }
    if (body.size() < kHeaderSize || (body[1] != kAccessWrite && body[1] != kAccessRead) ||
        body[2] != 0x0F || body[3] != 0x00 || body[4] != 0x00)
        return false;
    *request = {false, body[1], body[5], body[6], body.subspan(kHeaderSize)};
    return true;
}

std::uint8_t NextSequence(std::uint8_t sequence) {
    return sequence >= 0xFD ? 0x00 : static_cast<std::uint8_t>(sequence + 1);
}

// After the first request of a handle, each request carries the previous + 1. A
// wrong one is refused and becomes the new reference, so one slip is one violation.
bool SequenceFollows(SimBus* bus, SimModule* module, std::uint8_t sequence) {
    const bool first = !module->has_sequence;
    const std::uint8_t expected = first ? sequence : NextSequence(module->last_sequence);
    module->has_sequence = true;
    module->last_sequence = sequence;
    if (sequence >= 0xFE) {
        SimLogViolation(bus, module, SimPrintf("sequence 0x%02x out of range", sequence));
        return false;
    }
    if (sequence != expected) {
        SimLogViolation(bus, module,
                        SimPrintf("sequence 0x%02x, expected 0x%02x", sequence, expected));
        return false;
    }
    return true;
}

SimReply Reply(std::uint8_t status, std::uint8_t sequence,
               std::span<const std::uint8_t> data = {}) {
    SimReply reply{true, {}, 0};
    reply.body.reserve(6 + data.size());
    for (std::uint8_t byte : {std::uint8_t(5 + data.size()), status, std::uint8_t{0x0F},
                              std::uint8_t{0x00}, std::uint8_t{0x00}, sequence})
        reply.body.push_back(byte);
    for (std::uint8_t byte : data)
        reply.body.push_back(byte);
    return reply;
}

SimReply Refuse(SimBus* bus, SimModule* module, std::uint8_t status, std::uint8_t sequence,
                const std::string& what) {
    SimLogViolation(bus, module, what);
    return Reply(status, sequence);
}

std::uint32_t TransferAddress(std::span<const std::uint8_t> transfer) {
    return std::uint32_t{transfer[1]} << 16 | std::uint32_t{transfer[2]} << 8 | transfer[3];
}

// A flash port write: count byte, then one SPI transfer (opcode, address, data).
SimReply FlashPortWrite(SimBus* bus, SimModule* module, const Request& request) {
    const std::span<const std::uint8_t> payload = request.payload;
    if (payload.size() < 2 || payload[0] != payload.size() - 1)
        return Refuse(bus, module, kReplyBadTransfer, request.sequence,
                      SimPrintf("flash port count 0x%02x for %u bytes",
                                payload.empty() ? 0 : payload[0],
                                static_cast<unsigned>(payload.empty() ? 0 : payload.size() - 1)));
    const std::span<const std::uint8_t> transfer = payload.subspan(1);
    const std::uint8_t count[] = {payload[0]};
    if (transfer.size() == 1 && transfer[0] == kRestartRequest) {
        SimRequestRestart(bus, module);
        return {};
    }
    const std::uint8_t opcode = transfer[0];
    const bool sized = (opcode == kOpErase || opcode == kOpRead) ? transfer.size() == 4
                       : opcode == kOpProgram                    ? transfer.size() > 4
                                                                 : false;
    if (!sized)
        return Refuse(
            bus, module, kReplyBadTransfer, request.sequence,
            SimPrintf(
                "flash transfer %s of %u bytes",
                SimHexBytes(transfer.first(transfer.size() < 4 ? transfer.size() : 4)).c_str(),
                static_cast<unsigned>(transfer.size())));
    const std::uint32_t address = TransferAddress(transfer);
    if (address >= kFlashSize)
        return Refuse(bus, module, kReplyBadTransfer, request.sequence,
                      SimPrintf("flash address 0x%06x beyond the 2 MiB flash", address));
    if (opcode == kOpRead) {
        module->read_latched = true;
        module->read_address = address;
        return Reply(kReplyAccepted, request.sequence, count);
    }
    const char* what = opcode == kOpErase ? "erase" : "program";
    if (!module->unlocked)
        return Refuse(bus, module, kReplyLocked, request.sequence,
                      SimPrintf("%s before unlock at 0x%06x", what, address));
    if (SimHasFault(module->config.faults, SimFaultKind::Locked))
        return Reply(kReplyAccepted, request.sequence, count);
    if (opcode == kOpErase) {
        SimFlashEraseBlock(&module->flash, address);
        SimReply reply = Reply(kReplyAccepted, request.sequence, count);
        reply.busy_us = std::uint64_t{module->config.erase_block_ms} * 1000;
        return reply;
    }
    const std::uint32_t raised = SimFlashProgram(&module->flash, address, transfer.subspan(4));
    if (raised != 0)
        SimLogViolation(bus, module,
                        SimPrintf("program 0->1 of %u bits at 0x%06x", raised, address));
    SimReply reply = Reply(raised == 0 ? kReplyAccepted : kReplyBitRaised, request.sequence, count);
    reply.busy_us = module->config.program_chunk_us;
    return reply;
}

SimReply FlashPortRead(SimBus* bus, SimModule* module, const Request& request) {
    if (!module->read_latched)
        return Refuse(bus, module, kReplyBadTransfer, request.sequence,
                      "flash port read without a read address");
    std::vector<std::uint8_t> data(5 + kFlashReadChunk, 0xFF);
    data[0] = kFlashReadPrefix;
    SimFlashRead(module->flash, module->read_address, std::span(data).subspan(5));
    return Reply(kReplyAccepted, request.sequence, data);
}

} // namespace

std::string SimVersionText(const SimModule& module) {
    if (const SimFault* fault = SimFindFault(module.config.faults, SimFaultKind::VersionText))
        return fault->text;
    char text[16];
    std::snprintf(text, sizeof text, "%05x", module.running_version);
    return text;
}

SimReply SimExecuteRequest(SimBus* bus, SimModule* module, std::span<const std::uint8_t> body) {
    Request request{};
    if (!TakeApart(body, &request)) {
        module->has_sequence = false; // as for any frame that cannot be read
        SimLogViolation(
            bus, module,
            SimPrintf("unknown request %s",
                      SimHexBytes(body.first(body.size() < 8 ? body.size() : 8)).c_str()));
        return {};
    }
    if (!SequenceFollows(bus, module, request.sequence))
        return Reply(kReplyBadSequence, request.sequence);
    if (request.identification) {
        const std::uint8_t data[] = {0x01, module->config.type, module->config.subtype, 0x00, 0x00};
        return Reply(kReplyAccepted, request.sequence, data);
    }
    const bool read = request.access == kAccessRead;
    const bool no_payload = request.payload.empty();
    if (request.reg == kRegisterVersion && read && no_payload) {
        std::uint8_t data[6] = {};
        const std::string text = SimVersionText(*module);
        for (std::size_t i = 0; i < text.size() && i < 5; ++i)
            data[i] = static_cast<std::uint8_t>(text[i]);
        return Reply(kReplyAccepted, request.sequence, data);
    }
    if (request.reg == kRegisterBootloader && read && no_payload) {
        const std::uint8_t data[] = {module->config.bootloader};
        return Reply(kReplyAccepted, request.sequence, data);
    }
    if (request.reg == kRegisterUnlock && !read && request.payload.size() == 1 &&
        request.payload[0] == 0x03) {
        module->unlocked = true;
        const std::uint8_t data[] = {0x00};
        return Reply(kReplyAccepted, request.sequence, data);
    }
    if (request.reg == kRegisterFlashPort && !read)
        return FlashPortWrite(bus, module, request);
    if (request.reg == kRegisterFlashPort && read && no_payload)
        return FlashPortRead(bus, module, request);
    return Refuse(bus, module, kReplyUnknownRequest, request.sequence,
                  SimPrintf("%s of register 0x%02x with %u payload bytes", read ? "read" : "write",
                            request.reg, static_cast<unsigned>(request.payload.size())));
}
