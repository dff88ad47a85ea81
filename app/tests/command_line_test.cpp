// The switches: one mode at most, in any letter case, with nothing else on the line.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    std::vector<const char*> arguments;
    RunMode mode;        // when accepted
    const char* refused; // empty when accepted, else what the box must say
};

TEST(CommandLine, OneModeOrNothing) {
    const Case cases[] = {
        {{}, RunMode::Attended, ""},
        {{"/check"}, RunMode::Check, ""},
        {{"/UPDATE"}, RunMode::Update, ""},
        {{"/Station"}, RunMode::Station, ""},
        {{"/checks"}, RunMode::Attended, "\"/checks\" is not a switch"},
        {{"-check"}, RunMode::Attended, "\"-check\" is a value"},
        {{""}, RunMode::Attended, "\"\" is a value"},
        {{"/update:now"}, RunMode::Attended, "\"/update:now\" gives a value"},
        {{"/station=1"}, RunMode::Attended, "\"/station=1\" gives a value"},
        {{"/check", "/check"}, RunMode::Attended, "\"/check\" is repeated."},
        {{"/check", "/update"}, RunMode::Attended, "\"/update\" is a second mode"},
        {{"/station", "A17"}, RunMode::Attended, "\"A17\" is a value"},
    };
    for (const Case& test : cases) {
        CommandLine parsed = {};
        const std::int32_t result = ParseCommandLine(static_cast<int>(test.arguments.size()),
                                                     test.arguments.data(), &parsed);
        const std::string line = test.arguments.empty() ? "(none)" : test.arguments.back();
        const std::string refused = parsed.refused;
        if (test.refused[0] == '\0') {
            EXPECT_EQ(result, 0) << line;
            EXPECT_EQ(parsed.mode, test.mode) << line;
            EXPECT_EQ(refused, "") << line;
        } else {
            EXPECT_EQ(result, -1) << line;
            EXPECT_EQ(refused.rfind(std::string("Command line not accepted: ") + test.refused, 0),
                      0u)
                << refused;
        }
    }
    EXPECT_TRUE(Unattended(RunMode::Check) && Unattended(RunMode::Update));
    EXPECT_FALSE(Unattended(RunMode::Attended) || Unattended(RunMode::Station));
}

} // namespace
