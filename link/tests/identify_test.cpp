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
        scripted_usb.serials = {"A17"};
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
    EXPECT_EQ(DeviceHandle, &scripted_usb);
    EXPECT_EQ(scripted_usb.closes, 0);
    EXPECT_EQ(SentBodies(), (std::vector<Bytes>{{0x07, 0x00, 0x1F, 0xFE, 0x00, 0x02, 0xAA, 0x00},
                                                RequestBody(AccessRead, 0xAB, 0x09, {})}));
}

TEST_F(IdentifyTest, VersionTextReadsAsDecimalWithZeroAs99) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"00787", 787}, {"0", 99}, {"abc", 99}, {" 12ab", 12}, {"-0003", -3}};
    for (const auto& [text, version] : cases) {
        UseScriptedUsb();
        scripted_usb.serials = {"A17"};
        QueueAnswers(0x42, 0x0E, text);
        EXPECT_EQ(Identify(), version) << text;
    }
}

TEST_F(IdentifyTest, SerialsBeginningWithPArePassedOver) {
    scripted_usb.serials = {"p01", "A17"};
    QueueAnswers(0x42, 0x1D, "00786");
    EXPECT_EQ(Identify(), 786);
    EXPECT_EQ(scripted_usb.opened_index, 1);

    for (const std::vector<std::string>& serials :
         {std::vector<std::string>{"p01", "p02"}, std::vector<std::string>{}}) {
        UseScriptedUsb();
        scripted_usb.serials = serials;
        EXPECT_EQ(Identify(), IdentifyNoDevice);
        EXPECT_EQ(scripted_usb.opened_index, -1);
        EXPECT_EQ(DeviceHandle, nullptr);
        EXPECT_TRUE(scripted_usb.pieces.empty());
    }
}

TEST_F(IdentifyTest, FailedOpenLeavesNoHandle) {
    scripted_usb.open_status = 0x02;
    EXPECT_EQ(Identify(), IdentifyOpenFailed);
    EXPECT_EQ(DeviceHandle, nullptr);
    EXPECT_NE(trace.find("open status 2\n"), std::string::npos);
}

TEST_F(IdentifyTest, WrongTypeOrSubtypeClosesTheModule) {
    QueueAnswers(0x42, 0x10, "00787");
    ExpectClosedWith(IdentifyWrongDevice);

    UseScriptedUsb();
    scripted_usb.serials = {"A17"};
    QueueAnswers(0xC2, 0x1B, "00787"); // the record's type with the top bit set
    ExpectClosedWith(IdentifyWrongDevice);
    EXPECT_NE(trace.find("Type: c2, Subtype: 1b,"), std::string::npos) << trace;
}

TEST_F(IdentifyTest, WaitingStaleReplyIsConsumedFirst) {
    scripted_usb.queue_status = SI_RX_READY;
    QueueReply(ReplyBody({0x01, 0x99, 0x99, 0x00, 0x00}));
    QueueAnswers(0x42, 0x1B, "00787");
    EXPECT_EQ(Identify(), 787);
    EXPECT_LT(trace.find("read 12 bytes: ff 0a 00 0f 00 00 00 01 99 99 00 00 \n"),
              trace.find("Waiting for data"));
}

TEST_F(IdentifyTest, LibraryOrSendFailureGivesNoVersion) {
    scripted_usb.check_status = 0x04;
    ExpectClosedWith(IdentifyNoVersion);

    UseScriptedUsb();
    scripted_usb.serials = {"A17"};
    scripted_usb.writes_before_failure = 0;
    ExpectClosedWith(IdentifyNoVersion);
}

TEST_F(IdentifyTest, NoValidAnswerIsNeverRead) {
    ExpectClosedWith(IdentifyNoVersion); // identification gets no reply at all
    EXPECT_EQ(SentBodies().size(), 1u);
    EXPECT_NE(trace.find("Got data/timeout -19\n"), std::string::npos);

    UseScriptedUsb();
    scripted_usb.serials = {"A17"};
    QueueReply(ReplyBody({0x01, 0x42})); // ends before the subtype
    ExpectClosedWith(IdentifyNoVersion);

    UseScriptedUsb();
    scripted_usb.serials = {"A17"};
    QueueReply(ReplyBody({0x01, 0x42, 0x1B, 0x00, 0x00}));
    QueueReply(ReplyBody({'0', '0', '7', '8'})); // ends inside the version text
    ExpectClosedWith(IdentifyNoVersion);
    EXPECT_EQ(trace.find("Type:"), std::string::npos);
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
