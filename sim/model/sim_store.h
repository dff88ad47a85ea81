// The bus as several processes share it through the state directory: the program's
// stand-in library, simctl and the stand-in driver installer each keep a store, take
// in what the others wrote before every use and write back what they changed after
// it. The caller serialises the uses (the Windows door holds a lock across them).
#pragma once
#include "sim/model/sim_bus.h"
#include <cstdint>
#include <string>
#include <vector>

struct SimStore {
    std::string dir;
    SimBus bus;
    // Per module, its state file as this process last read or wrote it; a module
    // never plugged counts as a new module's text, so nothing is written for it.
    std::vector<std::string> state_texts;
    std::size_t events_written = 0;
};

// Reads module.ini and every module's files. 0, or -1 with the reason in *error.
std::int32_t SimStoreOpen(const std::string& dir, SimStore* store, std::string* error);

// Takes in the modules whose state file another process changed (flash included). A
// module that left the bus meanwhile loses this process's handle. 0 or -1.
std::int32_t SimStoreRefresh(SimStore* store, std::string* error);

// Writes the modules this process changed and appends the new log lines. 0 or -1.
std::int32_t SimStoreSave(SimStore* store, std::string* error);
