#include "sim/model/sim_library.h"
#include "sim/model/log_lines.h"
#include "sim/model/request_stream.h"
#include <algorithm>
#include <cstring>

namespace {

// A handle names the module and the open it came from, so that a handle of an
// earlier open, or of a module that left, is told apart from the live one.
constexpr std::uint32_t kHandleIndexBits = 8;

std::uint32_t MakeHandle(std::size_t index, std::uint32_t generation) {
    return generation << kHandleIndexBits | static_cast<std::uint32_t>(index + 1);
}

// Bus position of the index-th module the library sees, or the module count.
std::size_t VisiblePosition(const SimBus& bus, std::uint32_t index) {
    for (std::size_t i = 0; i < bus.modules.size(); ++i)
        if (bus.modules[i].present && bus.modules[i].driver_installed && index-- == 0)
            return i;
    return bus.modules.size();
}

bool ReplyReadable(const SimBus& bus, const SimModule& module) {
    return !module.pending_reply.empty() && module.reply_due_us <= bus.now_us;
}

} // namespace

SimModule* SimHandleModule(SimBus* bus, std::uint32_t handle) {
    const std::uint32_t index = (handle & ((1u << kHandleIndexBits) - 1)) - 1;
    if (handle == 0 || index >= bus->modules.size())
        return nullptr;
    SimModule* module = &bus->modules[index];
    if (!module->open || MakeHandle(index, module->open_generation) != handle)
        return nullptr;
    return module;
}

std::int32_t SimLibGetNumDevices(const SimBus& bus, std::uint32_t* count) {
    if (!count)
        return kSimInvalidParameter;
    *count = 0;
    for (const SimModule& module : bus.modules)
        *count += module.present && module.driver_installed ? 1 : 0;
    return kSimOk;
}

std::int32_t SimLibGetProductString(const SimBus& bus, std::uint32_t index, char* text,
                                    std::uint32_t option) {
    if (!text || option != 0)
        return kSimInvalidParameter;
    const std::size_t position = VisiblePosition(bus, index);
    if (position == bus.modules.size())
        return kSimDeviceNotFound;
    const std::string& serial = bus.modules[position].config.serial;
    std::memcpy(text, serial.c_str(), serial.size() + 1);
    return kSimOk;
}

std::int32_t SimLibSetTimeouts(SimBus* bus, std::uint32_t read_ms, std::uint32_t /*write_ms*/) {
    bus->host_read_timeout_ms = read_ms;
    return kSimOk;
}

std::int32_t SimLibOpen(SimBus* bus, std::uint32_t index, std::uint32_t* handle) {
    if (!handle)
        return kSimInvalidParameter;
    *handle = 0;
    const std::size_t position = VisiblePosition(*bus, index);
    if (position == bus->modules.size())
        return kSimDeviceNotFound;
    SimModule* module = &bus->modules[position];
    if (module->open || SimHasFault(module->config.faults, SimFaultKind::OpenFails))
        return kSimDeviceIoFailed;
    module->open = true;
    ++module->open_generation;
    module->requests_since_open = 0;
    module->has_sequence = false;
    module->parser = SimFrameParser{};
    module->pending_reply.clear();
    module->reply_due_us = 0;
    module->read_latched = false;
    if (SimHasFault(module->config.faults, SimFaultKind::RxPending))
        SimQueueStaleReply(module);
    SimLogEvent(bus, module, "open");
    *handle = MakeHandle(position, module->open_generation);
    return kSimOk;
}

std::int32_t SimLibClose(SimBus* bus, std::uint32_t handle) {
    SimModule* module = SimHandleModule(bus, handle);
    if (!module)
        return kSimInvalidHandle;
    module->open = false;
    module->pending_reply.clear();
    SimLogEvent(bus, module, "close");
    return kSimOk;
}

std::int32_t SimLibCheckRxQueue(SimBus* bus, std::uint32_t handle, std::uint32_t* bytes,
                                std::uint32_t* status) {
    SimModule* module = SimHandleModule(bus, handle);
    if (!module)
        return kSimInvalidHandle;
    if (!bytes || !status)
        return kSimInvalidParameter;
    const bool ready = ReplyReadable(*bus, *module);
    *bytes = ready ? static_cast<std::uint32_t>(module->pending_reply.size()) : 0;
    *status = ready ? kSimRxReady : 0;
    return kSimOk;
}

std::int32_t SimLibWrite(SimBus* bus, std::uint32_t handle, std::span<const std::uint8_t> bytes,
                         std::uint32_t* written) {
    SimModule* module = SimHandleModule(bus, handle);
    if (!module)
        return kSimInvalidHandle;
    if (!written || bytes.empty())
        return kSimInvalidParameter;
    *written = static_cast<std::uint32_t>(bytes.size());
    if (bus->record_wire)
        bus->wire_lines.push_back(SimWireLine('W', module->config.serial, bytes));
    // The bytes still go through: what matters is that the host broke the rule.
    if (bytes.size() > kSimMaxTransfer)
        SimLogViolation(bus, module,
                        "write of " + std::to_string(bytes.size()) + " bytes, more than 64");
    SimReceiveHostBytes(bus, module, bytes);
    return kSimOk;
}

std::int32_t SimLibRead(SimBus* bus, std::uint32_t handle, std::span<std::uint8_t> buffer,
                        std::uint32_t* returned, bool waited) {
    SimModule* module = SimHandleModule(bus, handle);
    if (!module)
        return kSimInvalidHandle;
    if (!returned || buffer.empty())
        return kSimInvalidParameter;
    *returned = 0;
    if (!ReplyReadable(*bus, *module))
        return waited ? kSimReadTimedOut : kSimReadWouldBlock;
    const std::size_t count =
        std::min({buffer.size(), std::size_t{kSimMaxTransfer}, module->pending_reply.size()});
    std::copy_n(module->pending_reply.begin(), count, buffer.begin());
    module->pending_reply.erase(module->pending_reply.begin(),
                                module->pending_reply.begin() + static_cast<std::ptrdiff_t>(count));
    *returned = static_cast<std::uint32_t>(count);
    if (bus->record_wire)
        bus->wire_lines.push_back(SimWireLine('R', module->config.serial, buffer.first(count)));
    return kSimOk;
}

std::uint64_t SimReadWaitUs(const SimBus& bus, const SimModule& module) {
    const std::uint64_t timeout_us =
        std::uint64_t{std::min(bus.host_read_timeout_ms, module.config.read_timeout_cap_ms)} * 1000;
    if (module.pending_reply.empty())
        return timeout_us;
    return std::min(timeout_us, module.reply_due_us - std::min(module.reply_due_us, bus.now_us));
}
