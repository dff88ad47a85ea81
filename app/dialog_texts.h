// The texts the main dialog shows: its version line and its progress titles.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDialogTextSize = 256;

inline constexpr const char* kFinishedUpperText =
    "Programming finished successfully!  Please power cycle the module now.";
inline constexpr const char* kFinishedLowerText =
    "After re-applying power it will take some seconds to complete the update process.";

// The lower status line at start: the module's version (when one was identified) and
// the carried one. The carried version's digits are hexadecimal digits (0x787 -> 787).
void FormatVersionLine(char (&text)[kDialogTextSize], std::int32_t identified_version,
                       std::uint16_t carried_version);

// The window title during an update (below 100) and once it is done (100).
void FormatProgressTitle(char (&text)[kDialogTextSize], const char* model,
                         std::uint16_t carried_version, std::int32_t percent);
