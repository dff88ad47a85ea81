// Where the simulator keeps its state: the directory named by ZANDACORE_SIM_DIR.
#pragma once
#include <string>

// The directory as Windows names it; a Unix path (/tmp/sim) becomes one on Wine's
// drive Z: (Z:\tmp\sim). False when the variable is unset or empty.
bool SimStateDirFromEnvironment(std::string* dir);
