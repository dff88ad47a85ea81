// Shared by the update's tests: a simulated module identified as at start-up, one run
// of the update with its trace, progress, traffic and virtual time, and where each
// request of a whole update falls.
#pragma once
#include "payload/device_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Runs body with standard output going to a temporary file; returns what it wrote.
std::string CaptureStdout(const std::function<void()>& body);

// Builds the bus from module.ini text, fills the library table and identifies the
// first module as start-up does, leaving it open in DeviceHandle. The version that
// identification returned.
std::int32_t StartIdentified(const std::string& module_ini);

// A fresh identification of the module now on the bus (its trace dropped); the link is
// closed again afterwards.
std::int32_t IdentifyAgain();

struct UpdateOutcome {
    std::int32_t result;
    std::string trace;
    std::vector<std::int32_t> progress;
    std::uint64_t exchanges;     // request frames the modules received during the run
    std::uint64_t start_us;      // virtual clock when the run began
    std::uint64_t duration_us;   // virtual time the run took
    std::uint8_t first_sequence; // LinkSequence when the run began
};

UpdateOutcome RunUpdate();
UpdateOutcome RunUpdateWith(const ImageEntry images[kMaxImages]);

// The sequence byte of the n-th request (from 0) after one carrying first.
std::uint8_t SequenceAfter(std::uint8_t first, std::uint32_t n);

// Requests of a whole update of this build's record, numbered as the simulator counts
// them: from 1 after the open, the identification's two requests first.
struct RequestPlan {
    std::uint32_t probe;
    std::uint32_t bootloader;
    std::uint32_t unlock;
    std::uint32_t flash_erase; // first erase of the flash image
    std::uint32_t flash_erases;
    std::uint32_t flash_program; // first program request of the flash image
    std::uint32_t flash_verify;  // first verify request (read command, then read-back)
    std::uint32_t flash_chunks;
    std::uint32_t mcu_erase;
    std::uint32_t mcu_program;
    std::uint32_t mcu_verify;
    std::uint32_t mcu_chunks;
    std::uint32_t restart;
};
RequestPlan PlanOfThisRecord();

// What the update must leave in the flash: the decoded flash image, and the
// microcontroller image framed for bootloader version 2.
const std::vector<std::uint8_t>& DecodedFlashImage();
const std::vector<std::uint8_t>& FramedMcuImage();

// True when the bytes handed to one library write are the whole restart request
// (register 0x30, payload 01 AA).
bool IsRestartRequest(const void* bytes, std::uint32_t count);

// The simulated flash of module A17, from address, count bytes.
std::vector<std::uint8_t> FlashOfA17(std::uint32_t address, std::size_t count);

// No allocation of the process is unreachable (checked where the leak sanitizer runs).
void ExpectNoLeak();
