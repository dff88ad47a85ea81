// The ways an update ends early, before the reset wait: what is traced, what the
// module was sent, and what survives.
#include "link/link.h"
#include "payload/device_record.h"
#include "sim/inprocess/sim_door.h"
#include "update/tests/update_test_support.h"
#include "usb/usb_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class FailureRow : public testing::Test {
  protected:
    void TearDown() override {
        SimDoorStop();
        ExpectNoLeak();
    }

    // Identifies the module and remembers its flash as start-up left it.
    void Start(const std::string& module_ini) {
        ASSERT_EQ(StartIdentified(module_ini), 786);
        const std::span<const std::uint8_t> flash = SimDoorFlash("A17");
        flash_before.assign(flash.begin(), flash.end());
    }
    bool FlashUntouched() const {
        const std::span<const std::uint8_t> flash = SimDoorFlash("A17");
        return std::equal(flash.begin(), flash.end(), flash_before.begin(), flash_before.end());
    }

    std::vector<std::uint8_t> flash_before;
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool HasEvent(const std::string& line) {
    const std::vector<SimEvent>& events = SimDoorEvents();
    return std::any_of(events.begin(), events.end(),
                       [&](const SimEvent& event) { return event.line == line; });
}

bool FlashHoldsBothImages() {
    return FlashOfA17(0x0, DecodedFlashImage().size()) == DecodedFlashImage() &&
           FlashOfA17(0xD0000, FramedMcuImage().size()) == FramedMcuImage();
}

TEST_F(FailureRow, NoReplyToTheProbeClosesTheLink) {
    Start("[A17]\nfault = reply-missing@3\n");
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_TRUE(EndsWith(run.trace, " -> 64508\r\nDevice handle died!\n")) << run.trace;
    EXPECT_EQ(DeviceHandle, nullptr);
    EXPECT_TRUE(HasEvent("close"));
    EXPECT_EQ(run.exchanges, 1u);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_TRUE(FlashUntouched());
}

TEST_F(FailureRow, UnreadableBootloaderVersionLeavesTheLinkOpen) {
    Start("[A17]\nfault = reply-corrupt@4\n");
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_TRUE(
        EndsWith(run.trace, "Reading from register 0x41\nCould not get bootloader version.\n"))
        << run.trace;
    EXPECT_NE(DeviceHandle, nullptr);
    EXPECT_EQ(run.exchanges, 2u);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_TRUE(FlashUntouched());
}

TEST_F(FailureRow, BootloaderVersion3GetsTheFlashImageButNoRestart) {
    Start("[A17]\nbootloader = 0x03\n");
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_TRUE(FlashOfA17(0x0, DecodedFlashImage().size()) == DecodedFlashImage());
    // The microcontroller image is refused before anything of it is sent.
    EXPECT_TRUE(
        EndsWith(run.trace, "\n\n1734164 1605140\r\nChecksum1: 4f0d8a61\r\n1734164 1605140\r\n"))
        << run.trace.substr(run.trace.size() - std::min<std::size_t>(run.trace.size(), 200));
    const RequestPlan plan = PlanOfThisRecord();
    EXPECT_EQ(run.exchanges, plan.mcu_erase - plan.probe);
    EXPECT_FALSE(HasEvent("restart-request"));
    EXPECT_NE(DeviceHandle, nullptr);
    EXPECT_LE(*std::max_element(run.progress.begin(), run.progress.end()), 95);
}

// The library's write fails for the restart request only.
SiWriteFn door_write = nullptr;

SiStatus USB_CALL WriteRefusingTheRestart(SiHandle handle, const void* buffer, std::uint32_t count,
                                          std::uint32_t* written, void* overlapped) {
    if (IsRestartRequest(buffer, count))
        return 0x08; // device I/O failed
    return door_write(handle, buffer, count, written, overlapped);
}

TEST_F(FailureRow, RestartRequestNotSentLeavesTheLinkOpen) {
    Start("[A17]\n");
    door_write = usb_library.SI_Write;
    usb_library.SI_Write = WriteRefusingTheRestart;
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_TRUE(EndsWith(run.trace, "1734164 1734164\r\ncheck for start of device reset\n"
                                    "  1 Norv USB device present, 0 ms\n"));
    EXPECT_TRUE(FlashHoldsBothImages());
    EXPECT_FALSE(HasEvent("restart-request"));
    EXPECT_NE(DeviceHandle, nullptr);
    EXPECT_EQ(run.progress.back(), 97);
}

} // namespace
