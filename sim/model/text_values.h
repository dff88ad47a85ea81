// Small text helpers shared by the simulator's two file parsers.
#pragma once
#include <cstdint>
#include <string_view>

std::string_view SimTrim(std::string_view text);
// A whole unsigned number: decimal, or hexadecimal after 0x. False when it is not
// one or exceeds max.
bool SimParseNumber(std::string_view text, std::uint32_t max, std::uint32_t* value);
// A whole unsigned hexadecimal number, with or without 0x.
bool SimParseHex(std::string_view text, std::uint32_t max, std::uint32_t* value);
