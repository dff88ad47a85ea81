#include "sim/ctl/bus_commands_win.h"
#include "sim/model/status_line.h"
#include "sim/windows/bus_session_win.h"
#include <cstdio>

namespace {

int Fail(const std::string& reason) {
    std::fprintf(stderr, "simctl: %s\n", reason.c_str());
    return 1;
}

// Runs the command on the bus in one use (it returns a reason to fail, or nothing),
// then waits for the re-checks of the keys it hid.
template <typename Command> int OnBus(Command command) {
    std::string error;
    SimBus* bus = SimSessionBegin(&error);
    if (!bus)
        return Fail(error);
    const std::string refused = command(bus);
    const bool saved = SimSessionEnd(&error) == 0;
    SimSessionSettle();
    if (!refused.empty())
        return Fail(refused);
    return saved ? 0 : Fail(error);
}

// The modules named, or every module when none are. Empty with *unknown set when a
// name is not in module.ini.
std::vector<SimModule*> Select(SimBus* bus, const std::vector<std::string>& serials,
                               std::string* unknown) {
    std::vector<SimModule*> chosen;
    if (serials.empty()) {
        for (SimModule& module : bus->modules)
            chosen.push_back(&module);
        return chosen;
    }
    for (const std::string& serial : serials) {
        const std::int32_t index = SimFindModule(*bus, serial);
        if (index < 0) {
            *unknown = "no module " + serial + " in module.ini";
            return {};
        }
        chosen.push_back(&bus->modules[static_cast<std::size_t>(index)]);
    }
    return chosen;
}

} // namespace

int SimCtlPlug(const std::vector<std::string>& serials) {
    return OnBus([&](SimBus* bus) {
        std::string unknown;
        for (SimModule* module : Select(bus, serials, &unknown))
            SimPlug(bus, module);
        return unknown;
    });
}

int SimCtlUnplug(const std::vector<std::string>& serials) {
    return OnBus([&](SimBus* bus) {
        std::string unknown;
        for (SimModule* module : Select(bus, serials, &unknown))
            SimUnplug(bus, module);
        return unknown;
    });
}

int SimCtlInstallDriver() {
    return OnBus([](SimBus* bus) {
        SimInstallDriver(bus);
        return std::string();
    });
}

int SimCtlStatus() {
    return OnBus([](SimBus* bus) {
        for (const SimModule& module : bus->modules)
            std::printf("%s\n", SimStatusLine(module).c_str());
        std::fflush(stdout);
        return std::string();
    });
}
