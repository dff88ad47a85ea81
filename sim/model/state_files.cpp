#include "sim/model/state_files.h"
#include "sim/model/log_lines.h"
#include "sim/model/text_values.h"
#include <cstdio>

namespace {

std::string Join(const std::string& dir, std::string_view name) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    path += name;
    return path;
}

bool FileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file)
        std::fclose(file);
    return file != nullptr;
}

std::int32_t WriteFile(const std::string& path, const char* mode, const void* data,
                       std::size_t size, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    bool ok = file && std::fwrite(data, 1, size, file) == size;
    if (file)
        ok = std::fclose(file) == 0 && ok;
    if (!ok)
        *error = "cannot write " + path;
    return ok ? 0 : -1;
}

// Writes size bytes at offset into an existing file.
std::int32_t PatchFile(const std::string& path, std::uint32_t offset, const void* data,
                       std::size_t size, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    bool ok = file && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
              std::fwrite(data, 1, size, file) == size;
    if (file)
        ok = std::fclose(file) == 0 && ok;
    if (!ok)
        *error = "cannot write " + path;
    return ok ? 0 : -1;
}

const char* PhaseName(SimRestartPhase phase) {
    switch (phase) {
    case SimRestartPhase::Leaving:
        return "leaving";
    case SimRestartPhase::Away:
        return "away";
    case SimRestartPhase::None:
        break;
    }
    return "none";
}

bool ParseImageState(std::string_view value, SimImageState* state) {
    for (SimImageState candidate : {SimImageState::Ok, SimImageState::Blank, SimImageState::Bad}) {
        if (value == SimImageStateName(candidate)) {
            *state = candidate;
            return true;
        }
    }
    return false;
}

bool ParseYesNo(std::string_view value, bool* flag) {
    if (value != "yes" && value != "no")
        return false;
    *flag = value == "yes";
    return true;
}

// "none", or "leaving <us>" / "away <us>": the restart's next step and when it is due.
bool ParseRestart(std::string_view value, SimModule* module) {
    if (value == "none") {
        module->restart = SimRestartPhase::None;
        return true;
    }
    const auto blank = value.find(' ');
    const std::string_view phase = value.substr(0, blank);
    if (blank == std::string_view::npos || (phase != "leaving" && phase != "away"))
        return false;
    std::uint64_t due = 0;
    for (char c : value.substr(blank + 1)) {
        if (c < '0' || c > '9' || due > (UINT64_MAX - 9) / 10)
            return false;
        due = due * 10 + static_cast<std::uint64_t>(c - '0');
    }
    module->restart = phase == "leaving" ? SimRestartPhase::Leaving : SimRestartPhase::Away;
    module->restart_due_us = due;
    return true;
}

bool SetStateKey(std::string_view key, std::string_view value, SimModule* module) {
    std::uint32_t number = 0;
    if (key == "present")
        return ParseYesNo(value, &module->present);
    if (key == "driver") {
        if (value != "installed" && value != "missing")
            return false;
        module->driver_installed = value == "installed";
        return true;
    }
    if (key == "unlocked")
        return ParseYesNo(value, &module->unlocked);
    if (key == "firmware") {
        if (!SimParseHex(value, 0xFFFF, &number))
            return false;
        module->running_version = static_cast<std::uint16_t>(number);
        return true;
    }
    if (key == "fpga")
        return ParseImageState(value, &module->boot.fpga);
    if (key == "mcu")
        return ParseImageState(value, &module->boot.mcu);
    if (key == "boots" || key == "violations") {
        if (!SimParseNumber(value, 0x7FFFFFFF, &number))
            return false;
        (key == "boots" ? module->boots : module->violations) = static_cast<std::int32_t>(number);
        return true;
    }
    if (key == "restart")
        return ParseRestart(value, module);
    return false;
}

constexpr const char* kStateKeys[] = {"present", "driver", "unlocked",   "firmware", "fpga",
                                      "mcu",     "boots",  "violations", "restart"};

} // namespace

std::string SimFlashFileName(std::string_view serial) {
    return "flash-" + std::string(serial) + ".bin";
}

std::string SimStateFileName(std::string_view serial) {
    return "state-" + std::string(serial) + ".txt";
}

std::string SimFormatState(const SimModule& module) {
    const std::string restart =
        module.restart == SimRestartPhase::None
            ? std::string(PhaseName(module.restart))
            : SimPrintf("%s %llu", PhaseName(module.restart),
                        static_cast<unsigned long long>(module.restart_due_us));
    return SimPrintf(
        "present = %s\ndriver = %s\nunlocked = %s\nfirmware = %x\nfpga = %s\n"
        "mcu = %s\nboots = %d\nviolations = %d\nrestart = %s\n",
        module.present ? "yes" : "no", module.driver_installed ? "installed" : "missing",
        module.unlocked ? "yes" : "no", static_cast<unsigned>(module.running_version),
        SimImageStateName(module.boot.fpga), SimImageStateName(module.boot.mcu),
        static_cast<int>(module.boots), static_cast<int>(module.violations), restart.c_str());
}

std::int32_t SimParseState(std::string_view text, SimModule* module, std::string* error) {
    std::vector<std::string_view> seen;
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const auto end = text.find('\n');
        const std::string_view line = SimTrim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty())
            continue;
        const auto equals = line.find('=');
        const std::string_view key = SimTrim(line.substr(0, equals));
        const std::string_view value = equals == std::string_view::npos
                                           ? std::string_view{}
                                           : SimTrim(line.substr(equals + 1));
        bool repeated = false;
        for (std::string_view other : seen)
            repeated = repeated || other == key;
        if (equals == std::string_view::npos || repeated || !SetStateKey(key, value, module)) {
            *error = "state line " + std::to_string(line_number) + ": bad or repeated '" +
                     std::string(line) + "'";
            return -1;
        }
        seen.push_back(key);
    }
    if (seen.size() != std::size(kStateKeys)) {
        *error = "state file lacks keys; it needs all of present, driver, unlocked, firmware, "
                 "fpga, mcu, boots, violations, restart";
        return -1;
    }
    return 0;
}

std::int32_t SimSaveFlash(const std::string& dir, SimModule* module, std::string* error) {
    SimFlash& flash = module->flash;
    if (!SimFlashChanged(flash))
        return 0;
    const std::string path = Join(dir, SimFlashFileName(module->config.serial));
    const bool written =
        FileExists(path)
            ? PatchFile(path, flash.changed_begin, flash.bytes.data() + flash.changed_begin,
                        flash.changed_end - flash.changed_begin, error) == 0
            : WriteFile(path, "wb", flash.bytes.data(), flash.bytes.size(), error) == 0;
    if (!written)
        return -1;
    SimFlashMarkSaved(&flash);
    return 0;
}

std::int32_t SimSaveModule(const std::string& dir, SimModule* module, std::string* error) {
    if (SimSaveFlash(dir, module, error) != 0)
        return -1;
    const std::string state = SimFormatState(*module);
    return WriteFile(Join(dir, SimStateFileName(module->config.serial)), "wb", state.data(),
                     state.size(), error);
}

std::int32_t SimLoadModule(const std::string& dir, SimModule* module, std::string* error) {
    const std::string& serial = module->config.serial;
    const std::string state_path = Join(dir, SimStateFileName(serial));
    if (!FileExists(state_path))
        return 0;
    std::string text;
    if (SimReadFile(state_path, &text) != 0) {
        *error = "cannot read " + state_path;
        return -1;
    }
    if (SimParseState(text, module, error) != 0) {
        *error = state_path + ": " + *error;
        return -1;
    }
    const std::string flash_path = Join(dir, SimFlashFileName(serial));
    SimFlashMarkSaved(&module->flash);
    if (!FileExists(flash_path)) {
        module->flash.bytes.clear();
        return 1;
    }
    std::string bytes;
    if (SimReadFile(flash_path, &bytes) != 0 || bytes.size() != kFlashSize) {
        *error = flash_path + ": not a readable file of 2097152 bytes";
        return -1;
    }
    module->flash.bytes.assign(bytes.begin(), bytes.end());
    return 1;
}

std::int32_t SimAppendLogs(const std::string& dir, SimBus* bus, std::size_t* events_written,
                           std::string* error) {
    std::string events;
    for (std::size_t i = *events_written; i < bus->events.size(); ++i)
        events += bus->events[i].line + "\n";
    std::string wire;
    for (const std::string& line : bus->wire_lines)
        wire += line + "\n";
    if (!events.empty() &&
        WriteFile(Join(dir, kSimEventLog), "ab", events.data(), events.size(), error) != 0)
        return -1;
    *events_written = bus->events.size();
    if (!wire.empty() &&
        WriteFile(Join(dir, kSimWireLog), "ab", wire.data(), wire.size(), error) != 0)
        return -1;
    bus->wire_lines.clear();
    return 0;
}

std::int32_t SimReadFile(const std::string& path, std::string* contents) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    contents->clear();
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        contents->append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? -1 : 0;
}
