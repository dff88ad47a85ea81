// Identification on a scripted library: the trace, the version text, and answers
// too short to read. Bus contents and faults are tested against the simulated module.
#include "link/identify.h"
#include "link/link.h"
#include "link/tests/scripted_usb.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class IdentifyTest : public testing::Test {
  protected:
    void SetUp() override {
        UseScriptedUsb();
        LinkSequence = 0xAA;
    }
    static void QueueAnswers(std::uint8_t type, std::uint8_t subtype, const std::string& text) {
        QueueReply(ReplyBody({0x01, type, subtype, 0x00, 0x00}));
        Bytes version(text.begin(), text.end());
        version.resize(6, 0x00);
        QueueReply(ReplyBody(version));
    }
    std::int32_t Identify() {
        testing::internal::CaptureStdout();
        const std::int32_t result = IdentifyDevice();
        trace = testing::internal::GetCapturedStdout();
        return result;
    }
    void ExpectClosedWith(std::int32_t expected) {
        EXPECT_EQ(Identify(), expected);
        EXPECT_EQ(DeviceHandle, nullptr);
        EXPECT_EQ(scripted_usb.closes, 1);
    }
    std::string trace;
};

TEST_F(IdentifyTest, MatchingModuleStaysOpenAndReportsItsVersion) {
    QueueAnswers(0x42, 0x1B, "00787");
    EXPECT_EQ(Identify(), 787);
    EXPECT_EQ(trace, "QTV40z6 HDMI-to-SDI Converter 42 stypes{ 0e 0f 12 13 1c 1b 1d } 787\r\n"
                     "Devices: 1 (0)\n"
                     "\nDevice 0: A17\n"
                     "open status 0\n"
                     "Waiting for data\n"
                     "Got data/timeout 12\n"
                     "Type: 42, Subtype: 1b, Version 00787\n"
                     "Version 787\n");
    EXPECT_NE(DeviceHandle, nullptr);
    EXPECT_EQ(scripted_usb.closes, 0);
    EXPECT_EQ(SentBodies(), (std::vector<Bytes>{{0x07, 0x00, 0x1F, 0xFE, 0x00, 0x02, 0xAA, 0x00},
                                                RequestBody(AccessRead, 0xAB, 0x09, {})}));
}

TEST_F(IdentifyTest, VersionTextReadsAsDecimalWithZeroAs99) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"00787", 787}, {"0", 99}, {"abc", 99}, {" 12ab", 12}};
    for (const auto& [text, version] : cases) {
        UseScriptedUsb();
        QueueAnswers(0x42, 0x0E, text);
        EXPECT_EQ(Identify(), version) << text;
    }
}

// The text ends at the reply's checksum, however short; bytes left in the buffer by the
// identification reply (its checksum at 12) must never be read as version digits.
TEST_F(IdentifyTest, VersionTextEndsWithTheReply) {
    const std::pair<Bytes, std::int32_t> cases[] = {
        {{'7', '8', '7', 0x00}, 787},
        {{'0', '0', '7', '8', '7', 0x00}, 787},
        {{'0', '0', '7', '8'}, 78},
        {{}, 99},
        {{'-', '1', '2', 0x00}, IdentifyNoVersion}, // would read as a failure code
    };
    for (const auto& [data, expected] : cases) {
        UseScriptedUsb();
        QueueReply(ReplyBody({0x01, 0x42, 0x1B, 0x39, 0x39, 0x39}));
        QueueReply(ReplyBody(data));
        EXPECT_EQ(Identify(), expected) << std::string(data.begin(), data.end());
        EXPECT_EQ(DeviceHandle == nullptr, expected < 0);
    }
}

TEST_F(IdentifyTest, SerialFillingTheWholeTextIsStillEnded) {
    const std::string serial(256, 'A'); // no room left for a terminating zero
    scripted_usb.serials = {serial};
    QueueAnswers(0x42, 0x1B, "00787");
    EXPECT_EQ(Identify(), 787);
    EXPECT_NE(trace.find("\nDevice 0: " + serial + "\n"), std::string::npos);
}

TEST_F(IdentifyTest, LibraryOrSendFailureGivesNoVersion) {
    scripted_usb.check_status = 0x04;
    ExpectClosedWith(IdentifyNoVersion);

    UseScriptedUsb();
    scripted_usb.writes_before_failure = 0;
    ExpectClosedWith(IdentifyNoVersion);
}

TEST_F(IdentifyTest, AnswerTooShortIsNeverRead) {
    QueueReply(ReplyBody({0x01, 0x42})); // ends before the subtype
    QueueReply(ReplyBody({'0', '0', '7', '8', '7', 0x00}));
    ExpectClosedWith(IdentifyNoVersion);
    EXPECT_EQ(SentBodies().size(), 1u);
}

// Only a failed version reply means no version, and only from the right device.
TEST_F(IdentifyTest, FailedVersionReplyFromRightOrWrongDevice) {
    QueueReply(ReplyBody({0x01, 0x42, 0x1B, 0x00, 0x00}));
    ExpectClosedWith(IdentifyNoVersion);

    UseScriptedUsb();
    QueueReply(ReplyBody({0x01, 0x42, 0x10, 0x00, 0x00}));
    ExpectClosedWith(IdentifyWrongDevice);
    EXPECT_NE(trace.find("Type: 42, Subtype: 10, Version \n"), std::string::npos);
}

TEST(Subtypes, KnownAreThoseListedBeforeTheEndMark) {
    EXPECT_TRUE(IsKnownSubtype(0x0E));
    EXPECT_TRUE(IsKnownSubtype(0x1D));
    EXPECT_FALSE(IsKnownSubtype(0x10));
    EXPECT_FALSE(IsKnownSubtype(0xFF));
    char text[kSubtypeTextSize];
    FormatSubtypes(text);
    EXPECT_STREQ(text, "stypes{ 0e 0f 12 13 1c 1b 1d }");
}

} // namespace
