// The program's switches. It runs as administrator, so its command line comes from an
// unelevated caller and is parsed strictly: one mode at most, no values, nothing else.
#pragma once
#include <cstddef>
#include <cstdint>

enum class RunMode : std::int32_t {
    Attended, // no switch: the program as a technician starts it
    Check,    // /check: identify and report, change nothing
    Update,   // /update: update without a click, end by itself
    Station,  // /station: one module after another
};

inline constexpr std::size_t kCommandLineTextSize = 512;

struct CommandLine {
    RunMode mode;
    // When refused: the argument at fault and why, for the box.
    char refused[kCommandLineTextSize];
};

// Reads the arguments after the program's name. 0 with the mode, or -1 with refused
// filled: an unknown or repeated switch, a second mode, or a value where none belongs.
std::int32_t ParseCommandLine(int count, const char* const* arguments, CommandLine* parsed);

// True in the modes that run without anybody at the screen: their boxes only go to the
// log.
bool Unattended(RunMode mode);
