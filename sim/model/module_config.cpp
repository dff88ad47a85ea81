#include "sim/model/module_config.h"
#include "sim/model/text_values.h"

namespace {

bool IsSerialCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_' || c == '.';
}

// Serials name state files, so they are kept to characters every file system takes.
bool IsValidSerial(std::string_view serial) {
    if (serial.empty() || serial.size() > kSimMaxSerial)
        return false;
    for (char c : serial)
        if (!IsSerialCharacter(c))
            return false;
    return true;
}

// A comment starts with # or ; at the start of a line or after white space, so that
// locations such as Port_#0001.Hub_#0001 keep their #.
std::string_view WithoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const bool starts = i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t';
        if ((line[i] == '#' || line[i] == ';') && starts)
            return line.substr(0, i);
    }
    return line;
}

bool SetByte(std::string_view value, std::uint8_t* field) {
    std::uint32_t number = 0;
    if (!SimParseNumber(value, 0xFF, &number))
        return false;
    *field = static_cast<std::uint8_t>(number);
    return true;
}

// 0, 1 for an unknown key, -1 for a bad value (reason in *error).
std::int32_t SetKey(std::string_view key, std::string_view value, SimModuleConfig* module,
                    std::string* error) {
    if (key == "type" || key == "subtype" || key == "bootloader") {
        std::uint8_t* field = key == "type"      ? &module->type
                              : key == "subtype" ? &module->subtype
                                                 : &module->bootloader;
        if (SetByte(value, field))
            return 0;
        *error = "a byte (0 to 255, or 0x00 to 0xFF)";
        return -1;
    }
    if (key == "firmware") {
        std::uint32_t number = 0;
        if (SimParseHex(value, 0xFFFF, &number)) {
            module->firmware = static_cast<std::uint16_t>(number);
            return 0;
        }
        *error = "a version as the program shows it (hex digits, e.g. 786)";
        return -1;
    }
    if (key == "driver") {
        if (value == "installed" || value == "missing") {
            module->driver_installed = value == "installed";
            return 0;
        }
        *error = "installed or missing";
        return -1;
    }
    if (key == "location") {
        if (!value.empty() && value.size() <= kSimMaxLocation) {
            module->location = std::string(value);
            return 0;
        }
        *error = "1 to 63 characters";
        return -1;
    }
    if (key == "read_timeout_cap_ms" && value == "none") {
        module->read_timeout_cap_ms = kSimNoReadCap;
        return 0;
    }
    std::uint32_t* number = key == "latency_us"            ? &module->latency_us
                            : key == "restart_leave_ms"    ? &module->restart_leave_ms
                            : key == "restart_return_ms"   ? &module->restart_return_ms
                            : key == "read_timeout_cap_ms" ? &module->read_timeout_cap_ms
                            : key == "erase_block_ms"      ? &module->erase_block_ms
                            : key == "program_chunk_us"    ? &module->program_chunk_us
                                                           : nullptr;
    if (number) {
        if (SimParseNumber(value, 0x7FFFFFFF, number))
            return 0;
        *error = key == "read_timeout_cap_ms" ? "a whole number, or none" : "a whole number";
        return -1;
    }
    if (key == "fault")
        return SimParseFaultList(value, &module->faults, error) == 0 ? 0 : -1;
    return 1;
}

} // namespace

std::int32_t SimParseModuleIni(std::string_view text, std::vector<SimModuleConfig>* modules,
                               std::string* error) {
    modules->clear();
    std::vector<std::string> keys_seen;
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        line = SimTrim(WithoutComment(line));
        if (line.empty())
            continue;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (line.front() == '[') {
            const std::string_view serial = line.size() > 2 && line.back() == ']'
                                                ? SimTrim(line.substr(1, line.size() - 2))
                                                : std::string_view{};
            if (!IsValidSerial(serial)) {
                *error = where + "bad section; want [serial], 1 to 63 of A-Z a-z 0-9 - _ .";
                return -1;
            }
            for (const SimModuleConfig& other : *modules) {
                if (other.serial == serial) {
                    *error = where + "module " + std::string(serial) + " appears twice";
                    return -1;
                }
            }
            modules->push_back(SimModuleConfig{});
            modules->back().serial = std::string(serial);
            keys_seen.clear();
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            *error = where + "want key = value";
            return -1;
        }
        const std::string key(SimTrim(line.substr(0, equals)));
        const std::string_view value = SimTrim(line.substr(equals + 1));
        if (modules->empty()) {
            *error = where + "key " + key + " before the first [serial] section";
            return -1;
        }
        for (const std::string& seen : keys_seen) {
            if (seen == key) {
                *error = where + "key " + key + " given twice";
                return -1;
            }
        }
        keys_seen.push_back(key);
        std::string reason;
        const std::int32_t result = SetKey(key, value, &modules->back(), &reason);
        if (result == 1) {
            *error = where + "unknown key " + key;
            return -1;
        }
        if (result != 0) {
            *error = where + key + ": " + reason;
            return -1;
        }
    }
    return 0;
}
