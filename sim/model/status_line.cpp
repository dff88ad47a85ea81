#include "sim/model/status_line.h"
#include <cstdio>

std::string SimStatusLine(const SimModule& module) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "module %s: present %s, firmware %x, bootloader %u, %s, boots %d, violations %d",
                  module.config.serial.c_str(), module.present ? "yes" : "no",
                  static_cast<unsigned>(module.running_version),
                  static_cast<unsigned>(module.config.bootloader & 0x7F),
                  SimBootResultText(module.boot).c_str(), static_cast<int>(module.boots),
                  static_cast<int>(module.violations));
    return text;
}
