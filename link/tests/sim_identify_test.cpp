// Identification against the simulated module: bus contents, faults, the wire.
#include "link/identify.h"
#include "link/link.h"
#include "sim/inprocess/sim_door.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class SimIdentifyTest : public testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }

    std::int32_t Identify(const std::string& module_ini) {
        std::string error;
        EXPECT_EQ(SimDoorStart(module_ini, &error), 0) << error;
        SimDoorFillUsbLibrary();
        SimDoorRecordWire(true);
        testing::internal::CaptureStdout();
        const std::int32_t result = IdentifyDevice();
        trace = testing::internal::GetCapturedStdout();
        return result;
    }
    static int EventCount(const std::string& line) {
        const auto& events = SimDoorEvents();
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [&](const SimEvent& e) { return e.line == line; }));
    }
    static bool Opened(const std::string& serial) {
        for (const SimEvent& e : SimDoorEvents()) {
            if (e.line == "open" && e.serial == serial)
                return true;
        }
        return false;
    }
    std::string trace;
};

TEST_F(SimIdentifyTest, FirstExchangesOfTheProcessOnTheWire) {
    LinkSequence = 0xAA; // as at start
    EXPECT_EQ(Identify("[A17]\nfirmware = 786\n"), 786);
    EXPECT_NE(DeviceHandle, nullptr);
    EXPECT_EQ(SimDoorViolationCount(), 0);
    const auto& wire = SimDoorWireLines();
    ASSERT_GE(wire.size(), 3u);
    EXPECT_EQ(wire[0], "W A17 ff 07 00 1f fe 00 00 02 aa 00 c9 ff");
    const auto version_read = std::find_if(
        wire.begin() + 1, wire.end(), [](const std::string& l) { return l.rfind("W ", 0) == 0; });
    ASSERT_NE(version_read, wire.end());
    EXPECT_EQ(*version_read, "W A17 ff 06 00 0f 00 00 ab 09 c3 ff");
    EXPECT_EQ(
        trace.rfind("QTV40z6 HDMI-to-SDI Converter 42 stypes{ 0e 0f 12 13 1c 1b 1d } 787\r\n", 0),
        0u);
}

TEST_F(SimIdentifyTest, PSerialsArePassedOver) {
    EXPECT_EQ(Identify("[p01]\n[A17]\n"), 786);
    EXPECT_FALSE(Opened("p01"));
    EXPECT_TRUE(Opened("A17"));
    SimDoorStop();

    EXPECT_EQ(Identify("[p01]\n[p02]\n"), IdentifyNoDevice);
    EXPECT_EQ(EventCount("open"), 0);
    EXPECT_EQ(DeviceHandle, nullptr);
    SimDoorStop();

    EXPECT_EQ(Identify("[A17]\ndriver = missing\n"), IdentifyNoDevice) << "no module listed";
    EXPECT_EQ(EventCount("open"), 0);
}

TEST_F(SimIdentifyTest, FailedOpen) {
    EXPECT_EQ(Identify("[A17]\nfault = open-fails\n"), IdentifyOpenFailed);
    EXPECT_EQ(DeviceHandle, nullptr);
}

TEST_F(SimIdentifyTest, WrongSubtypeOrHighTypeByteClosesTheModule) {
    EXPECT_EQ(Identify("[A17]\nsubtype = 0x10\n"), IdentifyWrongDevice);
    EXPECT_EQ(DeviceHandle, nullptr);
    EXPECT_EQ(EventCount("close"), 1);
    SimDoorStop();

    EXPECT_EQ(Identify("[A17]\ntype = 0xC2\n"), IdentifyWrongDevice);
    EXPECT_NE(trace.find("Type: c2, Subtype: 1b, Version 00786\n"), std::string::npos) << trace;
    EXPECT_EQ(EventCount("close"), 1);
}

TEST_F(SimIdentifyTest, StaleReplyIsReadAndTracedFirst) {
    EXPECT_EQ(Identify("[A17]\nfault = rx-pending\n"), 786);
    const std::size_t stale = trace.find("read ");
    ASSERT_NE(stale, std::string::npos) << trace;
    EXPECT_LT(stale, trace.find("Waiting for data"));
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(SimIdentifyTest, AnswerThatFailsIsNeverRead) {
    const char* faults[] = {"reply-truncated@1", "reply-corrupt@1", "reply-missing@1",
                            "reply-corrupt@2", "reply-truncated@2"};
    for (const char* fault : faults) {
        EXPECT_EQ(Identify(std::string("[A17]\nfault = ") + fault + "\n"), IdentifyNoVersion)
            << fault;
        EXPECT_EQ(DeviceHandle, nullptr) << fault;
        EXPECT_EQ(EventCount("close"), 1) << fault;
        SimDoorStop();
    }
}

} // namespace
