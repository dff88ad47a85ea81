// Identification of the attached module at start-up: pick one, open it into
// DeviceHandle, and check its type, subtype and firmware version against the record.
#pragma once
#include <array>
#include <cstdint>

// Results of IdentifyDevice besides a firmware version of 1 or more.
inline constexpr std::int32_t IdentifyNoVersion = -1;   // opened, but no valid answer
inline constexpr std::int32_t IdentifyWrongDevice = -2; // type or subtype not the record's
inline constexpr std::int32_t IdentifyNoDevice = -3;    // none, or only "p" serials
inline constexpr std::int32_t IdentifyOpenFailed = -4;  // SI_Open failed

inline constexpr std::uint32_t kIdentifyRequestSize = 8;
inline constexpr std::uint32_t kSubtypeTextSize = 256;
inline constexpr std::uint32_t kSerialTextSize = 64;

// The serial-number string of the module the last identification chose, cut to 63
// characters; empty when it chose none.
extern char identified_serial[kSerialTextSize];

// The raw identification body 07 00 1F FE 00 02 S 00 carrying sequence S.
std::array<std::uint8_t, kIdentifyRequestSize> IdentifyRequest(std::uint8_t sequence);

// The firmware version the module reports (99 when its text reads as 0), leaving the
// module open in DeviceHandle; or one of the Identify* failures with DeviceHandle 0.
std::int32_t IdentifyDevice();

// True when subtype is listed in the record before its end mark.
bool IsKnownSubtype(std::uint8_t subtype);

// Writes "stypes{ 0e 0f … }" with the record's subtypes in list order.
void FormatSubtypes(char text[kSubtypeTextSize]);
