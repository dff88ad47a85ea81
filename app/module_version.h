// Where the module's firmware stands against the carried one. The module reports its
// version as decimal text (786); the record holds the carried one's digits as hexadecimal
// digits (0x787 for 787), so the two are compared as the digits read.
#pragma once
#include <cstdint>

enum class VersionStanding : std::int32_t {
    Current, // runs the carried firmware
    Older,   // an update would bring it forward; v99, the waiting boot loader, included
    Newer,   // runs firmware newer than the carried one: left alone
};

// The carried version as the number its digits read (0x787 -> 787).
std::int32_t CarriedVersionNumber();

// IDENTIFIED_VERSION is one of at least 1, as identification reports it.
VersionStanding StandingOf(std::int32_t identified_version);
