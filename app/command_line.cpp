#include "app/command_line.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

struct Switch {
    const char* name;
    RunMode mode;
};

constexpr Switch kSwitches[] = {
    {"/check", RunMode::Check},
    {"/update", RunMode::Update},
    {"/station", RunMode::Station},
};

constexpr const char* kUsage = "Use one of /check, /update and /station, or no argument.";

std::int32_t Refuse(CommandLine* parsed, const char* argument, const char* why) {
    std::snprintf(parsed->refused, kCommandLineTextSize,
                  "Command line not accepted: \"%.200s\" %s\n\n%s", argument, why, kUsage);
    return -1;
}

} // namespace

std::int32_t ParseCommandLine(int count, const char* const* arguments, CommandLine* parsed) {
    parsed->mode = RunMode::Attended;
    parsed->refused[0] = '\0';
    const char* mode_argument = nullptr;
    for (int i = 0; i < count; ++i) {
        const char* argument = arguments[i];
        if (argument[0] != '/')
            return Refuse(parsed, argument, "is a value, and no switch takes one.");
        // Windows' switches are read without regard to letter case.
        const std::size_t name_length = std::strcspn(argument, ":=");
        const Switch* known = nullptr;
        for (const Switch& candidate : kSwitches) {
            if (std::strlen(candidate.name) == name_length &&
                strncasecmp(candidate.name, argument, name_length) == 0)
                known = &candidate;
        }
        if (known == nullptr)
            return Refuse(parsed, argument, "is not a switch of this program.");
        if (argument[name_length] != '\0')
            return Refuse(parsed, argument, "gives a value, and this switch takes none.");
        if (mode_argument != nullptr)
            return Refuse(parsed, argument,
                          known->mode == parsed->mode ? "is repeated."
                                                      : "is a second mode: only one is allowed.");
        mode_argument = argument;
        parsed->mode = known->mode;
    }
    return 0;
}

bool Unattended(RunMode mode) {
    return mode == RunMode::Check || mode == RunMode::Update;
}
