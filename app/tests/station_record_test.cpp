// The station's decisions on a version, and its record's lines.
#include "app/module_version.h"
#include "app/station_record.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

TEST(VersionStanding, AgainstTheCarriedDigits) {
    EXPECT_EQ(CarriedVersionNumber(), 787); // this build's record carries 0x787
    EXPECT_EQ(StandingOf(787), VersionStanding::Current);
    EXPECT_EQ(StandingOf(786), VersionStanding::Older);
    EXPECT_EQ(StandingOf(99), VersionStanding::Older); // the boot loader waiting
    EXPECT_EQ(StandingOf(1), VersionStanding::Older);
    EXPECT_EQ(StandingOf(788), VersionStanding::Newer);
}

TEST(StationRecord, OneQuotedLinePerVisit) {
    StationVisit visit = {
        "2026-12-09 21:00:00", "A17", "Port_#0001.Hub_#0001", 786, "updated", 63.24};
    EXPECT_EQ(StationRecordLine(visit),
              "2026-12-09 21:00:00,\"A17\",\"Port_#0001.Hub_#0001\",786,\"updated\",63.2\r\n");
    // A module's own strings cannot break the line, end it, or pass for a formula.
    visit = {"2026-12-09 21:00:00", "=1+\"2\",\n", "-x", 0, "failed: identification (x)", 0.05};
    EXPECT_EQ(StationRecordLine(visit), "2026-12-09 21:00:00,\"'=1+\"\"2\"\",?\",\"'-x\",,"
                                        "\"failed: identification (x)\",0.1\r\n");
}

// A line cut short by a program killed mid-write keeps its bytes; the next visit starts
// a line of its own, and nothing earlier is rewritten.
TEST(StationRecord, AppendsAfterEveryEarlierByte) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string directory = std::string(temp) + "zc-station-record-test";
    CreateDirectoryA(directory.c_str(), nullptr);
    SetEnvironmentVariableA("TEMP", directory.c_str());
    const std::string path = directory + "\\zandacore-station.csv";
    const std::string earlier = std::string(kStationRecordHeader) + "2026-12-01 10:00:00,\"Z9";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << earlier;
    ASSERT_TRUE(OpenStationRecord());
    const StationVisit visit = {
        "2026-12-09 21:00:00", "A17", "Port_#0001.Hub_#0001", 787, "verified", 1.5};
    ASSERT_TRUE(AppendStationRecord(visit));
    std::ifstream written(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}),
              earlier + "\r\n" + StationRecordLine(visit));
}

} // namespace
