#include "sim/model/fault_list.h"
#include "sim/model/flash.h"
#include "sim/model/text_values.h"

namespace {

struct FaultName {
    const char* name;
    SimFaultKind kind;
    char argument; // '@' request number, 'A' '@' flash address, '=' text, 0 none
};

constexpr FaultName kFaultNames[] = {
    {"reply-corrupt", SimFaultKind::ReplyCorrupt, '@'},
    {"reply-truncated", SimFaultKind::ReplyTruncated, '@'},
    {"reply-missing", SimFaultKind::ReplyMissing, '@'},
    {"disconnect", SimFaultKind::Disconnect, '@'},
    {"stuck-bit", SimFaultKind::StuckBit, 'A'},
    {"locked", SimFaultKind::Locked, 0},
    {"open-fails", SimFaultKind::OpenFails, 0},
    {"rx-pending", SimFaultKind::RxPending, 0},
    {"restart-never-leaves", SimFaultKind::RestartNeverLeaves, 0},
    {"restart-never-returns", SimFaultKind::RestartNeverReturns, 0},
    {"restart-blink", SimFaultKind::RestartBlink, 0},
    {"version-text", SimFaultKind::VersionText, '='},
};

constexpr std::size_t kMaxVersionText = 5;

const char* UsageOf(char argument) {
    switch (argument) {
    case '@':
        return "needs @N, the request number";
    case 'A':
        return "needs @ADDR, a hex flash address";
    case '=':
        return "needs =TEXT";
    default:
        return "takes no argument";
    }
}

std::int32_t ParseOne(std::string_view entry, SimFault* fault, std::string* error) {
    const auto cut = entry.find_first_of("@=");
    const std::string_view name = entry.substr(0, cut);
    const char separator = cut == std::string_view::npos ? 0 : entry[cut];
    const std::string_view argument =
        cut == std::string_view::npos ? std::string_view{} : entry.substr(cut + 1);
    for (const FaultName& known : kFaultNames) {
        if (name != known.name)
            continue;
        *fault = SimFault{known.kind, 0, {}};
        const char wanted = known.argument == 'A' ? '@' : known.argument;
        if (separator != wanted) {
            *error = "fault '" + std::string(entry) + "': " + UsageOf(known.argument);
            return -1;
        }
        if (known.argument == '@' &&
            (!SimParseNumber(argument, 0xFFFFFFFF, &fault->value) || fault->value == 0)) {
            *error = "fault '" + std::string(entry) + "': request number must be 1 or more";
            return -1;
        }
        if (known.argument == 'A' && !SimParseHex(argument, kFlashSize - 1, &fault->value)) {
            *error = "fault '" + std::string(entry) + "': address must be hex below 0x200000";
            return -1;
        }
        if (known.argument == '=') {
            if (argument.size() > kMaxVersionText) {
                *error = "fault '" + std::string(entry) + "': at most 5 characters";
                return -1;
            }
            fault->text = std::string(argument);
        }
        return 0;
    }
    *error = "unknown fault '" + std::string(entry) + "'";
    return -1;
}

} // namespace

std::int32_t SimParseFaultList(std::string_view list, std::vector<SimFault>* faults,
                               std::string* error) {
    faults->clear();
    if (SimTrim(list) == "none")
        return 0;
    while (true) {
        const auto comma = list.find(',');
        const std::string_view entry = SimTrim(list.substr(0, comma));
        if (entry.empty()) {
            *error = "empty entry in fault list";
            return -1;
        }
        SimFault fault{};
        if (ParseOne(entry, &fault, error) != 0)
            return -1;
        faults->push_back(fault);
        if (comma == std::string_view::npos)
            return 0;
        list = list.substr(comma + 1);
    }
}

bool SimHasFault(const std::vector<SimFault>& faults, SimFaultKind kind) {
    return SimFindFault(faults, kind) != nullptr;
}

bool SimHasFaultAt(const std::vector<SimFault>& faults, SimFaultKind kind, std::uint32_t value) {
    for (const SimFault& fault : faults)
        if (fault.kind == kind && fault.value == value)
            return true;
    return false;
}

const SimFault* SimFindFault(const std::vector<SimFault>& faults, SimFaultKind kind) {
    for (const SimFault& fault : faults)
        if (fault.kind == kind)
            return &fault;
    return nullptr;
}
