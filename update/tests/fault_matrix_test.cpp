// Every simulator fault at every stage of a whole update. A fault that spoils an
// exchange whose reply the update examines ends the run with -1, never 0; one that
// spoils a reply the update only consumes (the probe's, the unlock's, an erase's) or the
// restart request (which gets no reply) leaves a true success. A reply that never comes
// ends the run, within seconds of the silence, wherever it was awaited.
#include "link/link.h"
#include "sim/inprocess/sim_door.h"
#include "update/tests/update_test_support.h"
#include "usb/usb_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr std::uint64_t kMs = 1000;
// The reset wait, a reply that waits out the longest deadline, and the run's own pauses.
constexpr std::uint64_t kLongestRunUs = (45000 + 10000 + 200) * kMs;
// A failing run before the reset wait: all its time is its pauses and the wait for the
// reply that never came.
constexpr std::uint64_t kLongestFailureUs = 30000 * kMs;

enum class Position {
    Probe,        // the first exchange of the update
    Unlock,       // the flash's unlock
    FlashErase,   // the second erase of the flash image
    FlashProgram, // the middle chunk of the flash image
    FlashVerify,  // the read-back of that chunk
    McuProgram,   // the middle chunk of the microcontroller image
    McuVerify,    // the read-back of that chunk
    LastChunk,    // the read-back of the last chunk of the last image
    FlashTail,    // the last, partial chunk of the flash image
    Restart,      // the restart request
    Anywhere,     // a fault without a position
};

enum class Outcome {
    FailsLinkOpen,   // an image write failed: no restart request, DeviceHandle kept
    FailsLinkClosed, // the module was gone: DeviceHandle closed and 0
    Succeeds,        // the fault hit nothing the update examines
};

struct Cell {
    const char* fault; // as module.ini names it
    Position position;
    Outcome outcome;
};

const char* PositionName(Position position) {
    switch (position) {
    case Position::Probe:
        return "AtTheFirstExchange";
    case Position::Unlock:
        return "AtTheUnlock";
    case Position::FlashErase:
        return "DuringTheErases";
    case Position::FlashProgram:
        return "InTheFlashImageProgramPass";
    case Position::FlashVerify:
        return "InTheFlashImageVerifyPass";
    case Position::McuProgram:
        return "InTheMcuImageProgramPass";
    case Position::McuVerify:
        return "InTheMcuImageVerifyPass";
    case Position::LastChunk:
        return "AtTheLastChunk";
    case Position::FlashTail:
        return "AtTheFlashImagesLastChunk";
    case Position::Restart:
        return "AtTheRestartRequest";
    case Position::Anywhere:
        break;
    }
    return "Always";
}

std::string CellName(const testing::TestParamInfo<Cell>& info) {
    std::string name;
    bool upper = true;
    for (const char* c = info.param.fault; *c != '\0'; ++c) {
        if (*c == '-') {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(*c - 'a' + 'A') : *c;
        upper = false;
    }
    return name + "_" + PositionName(info.param.position);
}

std::uint32_t RequestAt(Position position) {
    const RequestPlan plan = PlanOfThisRecord();
    switch (position) {
    case Position::Probe:
        return plan.probe;
    case Position::Unlock:
        return plan.unlock;
    case Position::FlashErase:
        return plan.flash_erase + 1;
    case Position::FlashProgram:
        return plan.flash_program + plan.flash_chunks / 2;
    case Position::FlashVerify:
        return plan.flash_verify + 2 * (plan.flash_chunks / 2) + 1;
    case Position::McuProgram:
        return plan.mcu_program + plan.mcu_chunks / 2;
    case Position::McuVerify:
        return plan.mcu_verify + 2 * (plan.mcu_chunks / 2) + 1;
    case Position::LastChunk:
        return plan.restart - 1;
    case Position::Restart:
        return plan.restart;
    case Position::FlashTail:
    case Position::Anywhere:
        break;
    }
    return 0;
}

// A flash address whose byte has bit 0 clear, at or after from in image (written at
// base), so that a stuck bit 0 there cannot verify.
std::uint32_t EvenByteAddress(const std::vector<std::uint8_t>& image, std::uint32_t base,
                              std::size_t from) {
    std::size_t at = from;
    while (at < image.size() && (image[at] & 1) != 0)
        ++at;
    return base + static_cast<std::uint32_t>(at);
}

// The stuck bit lies in the chunk the position names; programming cannot notice it,
// the read-back does. (The last chunk of the microcontroller image holds only bytes
// with bit 0 set, which a stuck bit 0 cannot spoil; the flash image's last chunk, of
// 10 bytes, stands in for it.)
std::uint32_t StuckBitAt(Position position) {
    const std::vector<std::uint8_t>& flash = DecodedFlashImage();
    const std::vector<std::uint8_t>& mcu = FramedMcuImage();
    switch (position) {
    case Position::FlashVerify:
        return EvenByteAddress(flash, 0x0, flash.size() / 2);
    case Position::McuVerify:
        return EvenByteAddress(mcu, 0xD0000, mcu.size() / 2);
    default:
        return EvenByteAddress(flash, 0x0, (flash.size() - 1) / 128 * 128);
    }
}

// The request after which a failing run must stop: the faulted one, or the read-back of
// the chunk holding the stuck bit. 0 when the fault has no one place.
std::uint32_t FailingRequest(const Cell& cell) {
    if (std::string(cell.fault) == "stuck-bit") {
        const RequestPlan plan = PlanOfThisRecord();
        const std::uint32_t address = StuckBitAt(cell.position);
        return address >= 0xD0000 ? plan.mcu_verify + 2 * ((address - 0xD0000) / 128) + 1
                                  : plan.flash_verify + 2 * (address / 128) + 1;
    }
    return RequestAt(cell.position);
}

std::string FaultSetting(const Cell& cell) {
    char text[64];
    if (std::string(cell.fault) == "stuck-bit")
        std::snprintf(text, sizeof text, "stuck-bit@%x", StuckBitAt(cell.position));
    else if (cell.position == Position::Anywhere)
        std::snprintf(text, sizeof text, "%s", cell.fault);
    else
        std::snprintf(text, sizeof text, "%s@%u", cell.fault, RequestAt(cell.position));
    return text;
}

bool HasEvent(const std::string& line) {
    const std::vector<SimEvent>& events = SimDoorEvents();
    return std::any_of(events.begin(), events.end(),
                       [&](const SimEvent& event) { return event.line == line; });
}

class FaultMatrix : public testing::TestWithParam<Cell> {
  protected:
    void TearDown() override {
        SimDoorStop();
        ExpectNoLeak();
    }
};

TEST_P(FaultMatrix, EndsAsThePartsFailureTableSays) {
    const Cell& cell = GetParam();
    const std::string setting = FaultSetting(cell);
    SCOPED_TRACE(setting);
    ASSERT_EQ(StartIdentified("[A17]\nfault = " + setting + "\n"), 786);
    const UpdateOutcome run = RunUpdate();
    const bool fails_before_reset_wait =
        cell.outcome != Outcome::Succeeds && cell.position != Position::Restart;
    EXPECT_LE(run.duration_us, fails_before_reset_wait ? kLongestFailureUs : kLongestRunUs);
    const std::uint32_t failing_request = FailingRequest(cell);
    if (cell.outcome != Outcome::Succeeds && failing_request != 0) {
        EXPECT_EQ(run.exchanges, failing_request - 2) << "the run did not stop at the fault";
    }
    const bool showed_100 =
        std::find(run.progress.begin(), run.progress.end(), 100) != run.progress.end();

    switch (cell.outcome) {
    case Outcome::FailsLinkOpen:
        EXPECT_EQ(run.result, -1);
        EXPECT_FALSE(showed_100);
        EXPECT_NE(DeviceHandle, nullptr);
        EXPECT_FALSE(HasEvent("restart-request"));
        break;
    case Outcome::FailsLinkClosed:
        EXPECT_EQ(run.result, -1);
        EXPECT_FALSE(showed_100);
        EXPECT_EQ(DeviceHandle, nullptr);
        break;
    case Outcome::Succeeds:
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
        EXPECT_EQ(IdentifyAgain(), 787);
        break;
    }
}

constexpr Position kRequestPositions[] = {
    Position::Probe,        Position::Unlock,      Position::FlashErase,
    Position::FlashProgram, Position::FlashVerify, Position::McuProgram,
    Position::McuVerify,    Position::LastChunk,   Position::Restart,
};

// What each reply fault does where: the probe's, the unlock's and the erases' replies are
// consumed, never examined, but one that never comes ends the run; the restart request
// has no reply to spoil.
std::vector<Cell> ReplyFaultCells(const char* fault, Outcome at_probe) {
    const bool missing = std::string(fault) == "reply-missing";
    std::vector<Cell> cells;
    for (Position position : kRequestPositions) {
        Outcome outcome = Outcome::FailsLinkOpen;
        if (position == Position::Probe)
            outcome = at_probe;
        else if (position == Position::Restart ||
                 (!missing && (position == Position::Unlock || position == Position::FlashErase)))
            outcome = Outcome::Succeeds;
        cells.push_back({fault, position, outcome});
    }
    return cells;
}

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (const std::vector<Cell>& group :
         {ReplyFaultCells("reply-corrupt", Outcome::Succeeds),
          ReplyFaultCells("reply-truncated", Outcome::Succeeds),
          // No reply waiting after the probe: the module is taken for gone.
          ReplyFaultCells("reply-missing", Outcome::FailsLinkClosed)})
        cells.insert(cells.end(), group.begin(), group.end());
    // A module pulled from the bus: gone at the probe, a failed exchange while writing,
    // and a disconnect that never ends after the restart request.
    for (Position position : kRequestPositions) {
        const bool closes = position == Position::Probe || position == Position::Restart;
        cells.push_back(
            {"disconnect", position, closes ? Outcome::FailsLinkClosed : Outcome::FailsLinkOpen});
    }
    for (Position position : {Position::FlashVerify, Position::McuVerify, Position::FlashTail})
        cells.push_back({"stuck-bit", position, Outcome::FailsLinkOpen});
    cells.push_back({"locked", Position::Anywhere, Outcome::FailsLinkOpen});
    return cells;
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultMatrix, testing::ValuesIn(AllCells()), CellName);

} // namespace
