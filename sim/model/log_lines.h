// Lines of the simulator's logs, formatted as the state directory's files hold them.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// printf into a string; texts of violations and errors.
std::string SimPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Lower-case hex, bytes separated by one space: "ff 07 00".
std::string SimHexBytes(std::span<const std::uint8_t> bytes);
// wire.log: "W <serial> <hex bytes>" for a write, "R <serial> <hex bytes>" for a read.
std::string SimWireLine(char direction, std::string_view serial,
                        std::span<const std::uint8_t> bytes);
