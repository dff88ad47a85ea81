// The one-line summary of a module that `simctl status` prints.
#pragma once
#include "sim/model/sim_bus.h"
#include <string>

// "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1,
// violations 0" - firmware is the running version as the program shows it (0 while
// in the bootloader), bootloader the version in the low 7 bits of its byte.
std::string SimStatusLine(const SimModule& module);
