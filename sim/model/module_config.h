// One module of the scenario file module.ini: a section per module, in bus order,
// named by its serial-number string.
#pragma once
#include "sim/model/fault_list.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kSimMaxSerial = 63; // fits the 64-byte texts of a scan
inline constexpr std::size_t kSimMaxLocation = 63;
inline constexpr std::uint32_t kSimNoReadCap = 0xFFFFFFFF; // read_timeout_cap_ms = none

struct SimModuleConfig {
    std::string serial;
    std::uint8_t type = 0x42;
    std::uint8_t subtype = 0x1B;
    std::uint8_t bootloader = 0x82;  // register 0x41's byte; the version is its low 7 bits
    std::uint16_t firmware = 0x0786; // written as the program shows it: 786 is 0x0786
    bool driver_installed = true;
    std::string location = "Port_#0001.Hub_#0001";
    std::uint32_t latency_us = 0;
    std::uint32_t restart_leave_ms = 300;
    std::uint32_t restart_return_ms = 1500;
    std::uint32_t read_timeout_cap_ms = kSimNoReadCap; // reads wait the host's time-out
    std::uint32_t erase_block_ms = 0;   // an erase is answered this long after it arrives
    std::uint32_t program_chunk_us = 0; // the same for a program request
    std::vector<SimFault> faults;
};

// Parses the whole file. 0, or -1 with "line N: reason" in *error. Unknown keys,
// repeated keys or sections, keys outside a section and bad values are errors.
std::int32_t SimParseModuleIni(std::string_view text, std::vector<SimModuleConfig>* modules,
                               std::string* error);
