#include "sim/model/request_stream.h"
#include "sim/model/register_protocol.h"

#include <algorithm>

namespace {

void QueueReply(const SimBus& bus, SimModule* module, SimReply reply, std::uint32_t request) {
    const std::vector<SimFault>& faults = module->config.faults;
    if (SimHasFaultAt(faults, SimFaultKind::ReplyMissing, request))
        return;
    // The pending bytes reach the host once the last of their replies is due; the host
    // reads each reply before its next request, so no reply is held back by another.
    module->reply_due_us = std::max(module->reply_due_us, bus.now_us + reply.busy_us);
    std::vector<std::uint8_t>& body = reply.body;
    const std::uint8_t checksum = SimReplyChecksum(body);
    if (SimHasFaultAt(faults, SimFaultKind::ReplyCorrupt, request))
        body.back() ^= 0x01;
    std::vector<std::uint8_t> wire = SimEncodeReply(body, checksum);
    if (SimHasFaultAt(faults, SimFaultKind::ReplyTruncated, request))
        wire.pop_back();
    module->pending_reply.insert(module->pending_reply.end(), wire.begin(), wire.end());
}

} // namespace

void SimReceiveHostBytes(SimBus* bus, SimModule* module, std::span<const std::uint8_t> bytes) {
    std::vector<SimParsedFrame> found;
    SimFeedRequestBytes(&module->parser, bytes, &found);
    for (SimParsedFrame& frame : found) {
        if (!frame.violation.empty()) {
            SimLogViolation(bus, module, frame.violation);
            // The lost frame's sequence is unknown: the next request sets it anew, so
            // that one slip of the host is one violation.
            module->has_sequence = false;
        }
        if (!frame.counts_as_request)
            continue;
        const std::uint32_t request = ++module->requests_since_open;
        ++module->requests_total;
        SimReply reply;
        if (!frame.body.empty())
            reply = SimExecuteRequest(bus, module, frame.body);
        if (SimHasFaultAt(module->config.faults, SimFaultKind::Disconnect, request)) {
            SimUnplug(bus, module);
            return;
        }
        if (reply.send)
            QueueReply(*bus, module, std::move(reply), request);
    }
}

void SimQueueStaleReply(SimModule* module) {
    // A version reply with sequence 0, left over from an earlier host.
    std::vector<std::uint8_t> body = {0x0B, 0x00, 0x0F, 0x00, 0x00, 0x00};
    for (char c : SimVersionText(*module))
        body.push_back(static_cast<std::uint8_t>(c));
    body.resize(12, 0x00);
    const std::vector<std::uint8_t> wire = SimEncodeReply(body, SimReplyChecksum(body));
    module->pending_reply.insert(module->pending_reply.end(), wire.begin(), wire.end());
}
