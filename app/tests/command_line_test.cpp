// The switches: one mode at most, in any letter case, with nothing else on the line.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    std::vector<const char*> arguments;
    std::int32_t result;
    RunMode mode;
    const char* refused; // the start of the box text, when refused
};

TEST(CommandLine, OneModeOrNothing) {
    const Case cases[] = {
        {{}, 0, RunMode::Attended, ""},
        {{"/check"}, 0, RunMode::Check, ""},
        {{"/UPDATE"}, 0, RunMode::Update, ""},
        {{"/Station"}, 0, RunMode::Station, ""},
        {{"/checks"},
         -1,
         RunMode::Attended,
         "Command line not accepted: \"/checks\" is not a switch"},
        {{"-check"}, -1, RunMode::Attended, "Command line not accepted: \"-check\" is a value"},
        {{""}, -1, RunMode::Attended, "Command line not accepted: \"\" is a value"},
        {{"/update:now"},
         -1,
         RunMode::Attended,
         "Command line not accepted: \"/update:now\" gives a value"},
        {{"/station=1"},
         -1,
         RunMode::Attended,
         "Command line not accepted: \"/station=1\" gives a value"},
        {{"/check", "/check"},
         -1,
         RunMode::Check,
         "Command line not accepted: \"/check\" is repeated."},
        {{"/check", "/update"},
         -1,
         RunMode::Check,
         "Command line not accepted: \"/update\" is a second mode"},
        {{"/station", "A17"},
         -1,
         RunMode::Station,
         "Command line not accepted: \"A17\" is a value"},
    };
    for (const Case& test : cases) {
        CommandLine parsed = {};
        const std::int32_t result = ParseCommandLine(static_cast<int>(test.arguments.size()),
                                                     test.arguments.data(), &parsed);
        const std::string line = test.arguments.empty() ? "(none)" : test.arguments.back();
        EXPECT_EQ(result, test.result) << line;
        if (result == 0) {
            EXPECT_EQ(parsed.mode, test.mode) << line;
        }
        EXPECT_EQ(std::string(parsed.refused).rfind(test.refused, 0), 0u)
            << line << ": " << parsed.refused;
    }
}

TEST(CommandLine, OnlyCheckAndUpdateRunUnattended) {
    EXPECT_FALSE(Unattended(RunMode::Attended));
    EXPECT_TRUE(Unattended(RunMode::Check));
    EXPECT_TRUE(Unattended(RunMode::Update));
    EXPECT_FALSE(Unattended(RunMode::Station));
}

} // namespace
