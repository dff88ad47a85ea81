#include "sim/model/sim_store.h"
#include "sim/model/state_files.h"

namespace {

std::string PathOf(const std::string& dir, const std::string& name) {
    return dir + "/" + name;
}

// What the state file of a module never plugged would say.
std::string NewModuleText(const SimModuleConfig& config) {
    SimBus fresh = SimMakeBus({config});
    return SimFormatState(fresh.modules[0]);
}

// The state file's text, or a new module's when there is none.
std::string ReadStateText(const SimStore& store, const SimModule& module) {
    std::string text;
    if (SimReadFile(PathOf(store.dir, SimStateFileName(module.config.serial)), &text) != 0)
        text = NewModuleText(module.config);
    return text;
}

} // namespace

std::int32_t SimStoreOpen(const std::string& dir, SimStore* store, std::string* error) {
    std::string ini;
    if (SimReadFile(PathOf(dir, kSimModuleIni), &ini) != 0) {
        *error = "cannot read " + PathOf(dir, kSimModuleIni);
        return -1;
    }
    std::vector<SimModuleConfig> configs;
    if (SimParseModuleIni(ini, &configs, error) != 0) {
        *error = std::string(kSimModuleIni) + " " + *error;
        return -1;
    }
    store->dir = dir;
    store->bus = SimMakeBus(configs);
    store->bus.record_wire = true;
    store->state_texts.clear();
    for (const SimModuleConfig& config : configs)
        store->state_texts.push_back(NewModuleText(config));
    store->events_written = 0;
    return SimStoreRefresh(store, error);
}

std::int32_t SimStoreRefresh(SimStore* store, std::string* error) {
    for (std::size_t i = 0; i < store->bus.modules.size(); ++i) {
        SimModule& module = store->bus.modules[i];
        std::string text = ReadStateText(*store, module);
        if (text == store->state_texts[i])
            continue;
        const bool was_present = module.present;
        if (SimLoadModule(store->dir, &module, error) < 0)
            return -1;
        if (was_present && !module.present)
            SimDropHostHandle(&module);
        store->state_texts[i] = std::move(text);
    }
    return 0;
}

std::int32_t SimStoreSave(SimStore* store, std::string* error) {
    for (std::size_t i = 0; i < store->bus.modules.size(); ++i) {
        SimModule& module = store->bus.modules[i];
        if (SimSaveFlash(store->dir, &module, error) != 0)
            return -1;
        std::string text = SimFormatState(module);
        if (text == store->state_texts[i])
            continue;
        if (SimSaveModule(store->dir, &module, error) != 0)
            return -1;
        store->state_texts[i] = std::move(text);
    }
    return SimAppendLogs(store->dir, &store->bus, &store->events_written, error);
}
