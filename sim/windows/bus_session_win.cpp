#include "sim/windows/bus_session_win.h"
#include "sim/model/log_lines.h"
#include "sim/model/sim_store.h"
#include "sim/windows/registry_presence_win.h"
#include "sim/windows/state_dir_win.h"
#include <algorithm>
#include <limits>
#include <windows.h>

namespace {

constexpr std::uint64_t kRecheckDelayUs = 25000;
constexpr std::uint64_t kNothingDue = std::numeric_limits<std::uint64_t>::max();

struct Recheck {
    std::string serial;
    std::uint64_t due_us;
};

struct Presence {
    bool present;
    bool driver_installed;
    bool operator==(const Presence&) const = default;
};

struct Session {
    HANDLE lock = nullptr;
    std::string dir;
    bool store_open = false;
    SimStore store;
    std::vector<Presence> before; // as the use began, after other processes' changes
    std::vector<Recheck> rechecks;
};

Session session;

// Named after the directory, so that tests with their own directories never meet.
std::string LockName(const std::string& dir) {
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (char c : dir) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return SimPrintf("zandacore-sim-%016llx", static_cast<unsigned long long>(hash));
}

bool TakeLock(std::string* error) {
    if (!session.lock) {
        if (!SimStateDirFromEnvironment(&session.dir)) {
            *error = "ZANDACORE_SIM_DIR is not set";
            return false;
        }
        session.lock = CreateMutexA(nullptr, FALSE, LockName(session.dir).c_str());
        if (!session.lock) {
            *error = "cannot create the bus lock";
            return false;
        }
    }
    // An abandoned lock (its holder died) is ours all the same.
    const DWORD waited = WaitForSingleObject(session.lock, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        *error = "cannot take the bus lock";
        return false;
    }
    return true;
}

std::int32_t BringRegistryInStep(std::string* error) {
    const std::vector<SimModule>& modules = session.store.bus.modules;
    const std::uint64_t now = SimRealNowUs();
    std::int32_t result = 0;
    for (std::size_t i = 0; i < modules.size(); ++i) {
        const SimModule& module = modules[i];
        if (Presence{module.present, module.driver_installed} == session.before[i])
            continue;
        if (module.present) {
            if (SimShowInRegistry(module) != 0)
                result = -1;
        } else if (session.before[i].present) {
            if (SimHideFromRegistry(module.config.serial) != 0)
                result = -1;
            session.rechecks.push_back({module.config.serial, now + kRecheckDelayUs});
        }
    }
    for (auto it = session.rechecks.begin(); it != session.rechecks.end();) {
        if (it->due_us > now) {
            ++it;
            continue;
        }
        const std::int32_t index = SimFindModule(session.store.bus, it->serial);
        if (index >= 0 && !modules[static_cast<std::size_t>(index)].present &&
            SimHideFromRegistry(it->serial) != 0)
            result = -1;
        it = session.rechecks.erase(it);
    }
    if (result != 0)
        *error = "cannot bring the registry in step with the bus";
    return result;
}

std::uint64_t NextRecheckUs() {
    std::uint64_t next = kNothingDue;
    for (const Recheck& recheck : session.rechecks)
        next = std::min(next, recheck.due_us);
    return next;
}

} // namespace

std::uint64_t SimRealNowUs() {
    // The plain system time moves in steps of about 16 ms under Wine.
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) / 10;
}

SimBus* SimSessionBegin(std::string* error) {
    if (!TakeLock(error))
        return nullptr;
    const std::int32_t result = session.store_open
                                    ? SimStoreRefresh(&session.store, error)
                                    : SimStoreOpen(session.dir, &session.store, error);
    if (result != 0) {
        ReleaseMutex(session.lock);
        return nullptr;
    }
    session.store_open = true;
    SimBus* bus = &session.store.bus;
    session.before.clear();
    for (const SimModule& module : bus->modules)
        session.before.push_back({module.present, module.driver_installed});
    SimBusAdvance(bus, SimRealNowUs());
    return bus;
}

std::int32_t SimSessionEnd(std::string* error) {
    std::int32_t result = SimStoreSave(&session.store, error);
    std::string registry_error;
    if (BringRegistryInStep(&registry_error) != 0 && result == 0) {
        *error = registry_error;
        result = -1;
    }
    ReleaseMutex(session.lock);
    return result;
}

std::uint64_t SimSessionNextDueUs() {
    return std::min(SimNextTimerUs(session.store.bus), NextRecheckUs());
}

void SimSessionSettle() {
    std::string error;
    while (SimSessionBegin(&error)) {
        const std::uint64_t due = NextRecheckUs();
        const std::uint64_t now = SimRealNowUs();
        SimSessionEnd(&error);
        if (due == kNothingDue)
            return;
        if (due > now)
            Sleep(static_cast<DWORD>((due - now + 999) / 1000));
    }
}
