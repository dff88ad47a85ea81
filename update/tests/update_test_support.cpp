#include "update/tests/update_test_support.h"

#include "link/identify.h"
#include "link/link.h"
#include "payload/bz2_decoder.h"
#include "sim/inprocess/sim_door.h"
#include "sim/model/factory_image.h"
#include "tests/support/progress_recorder.h"
#include "update/firmware_update.h"
#include "usb/usb_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

std::string CaptureStdout(const std::function<void()>& body) {
    std::fflush(stdout);
    // Named per process: the Windows runtime's tmpfile picks names that test programs
    // running side by side collide on.
    const std::string sink_name = "stdout-capture-" + std::to_string(getpid()) + ".tmp";
    std::FILE* sink = std::fopen(sink_name.c_str(), "w+b");
    if (sink == nullptr) {
        ADD_FAILURE() << "no temporary file for standard output";
        body();
        return {};
    }
    const int saved = dup(fileno(stdout));
    dup2(fileno(sink), fileno(stdout));
    body();
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);

    std::string text;
    std::rewind(sink);
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, sink)) > 0;)
        text.append(block, got);
    std::fclose(sink);
    std::remove(sink_name.c_str());
    return text;
}

std::int32_t StartIdentified(const std::string& module_ini) {
    std::string error;
    if (SimDoorStart(module_ini, &error) != 0) {
        ADD_FAILURE() << error;
        return -1;
    }
    SimDoorFillUsbLibrary();
    std::int32_t version = 0;
    CaptureStdout([&] { version = IdentifyDevice(); });
    return version;
}

std::int32_t IdentifyAgain() {
    std::int32_t version = 0;
    CaptureStdout([&] { version = IdentifyDevice(); });
    if (DeviceHandle != nullptr) {
        usb_library.SI_Close(DeviceHandle);
        DeviceHandle = nullptr;
    }
    return version;
}

namespace {

UpdateOutcome Observe(const std::function<std::int32_t()>& run) {
    recorded_progress.clear();
    UpdateOutcome outcome{};
    outcome.first_sequence = LinkSequence;
    outcome.start_us = SimDoorNowUs();
    const std::uint64_t exchanges_before = SimDoorExchangeCount();
    outcome.trace = CaptureStdout([&] { outcome.result = run(); });
    outcome.exchanges = SimDoorExchangeCount() - exchanges_before;
    outcome.duration_us = SimDoorNowUs() - outcome.start_us;
    outcome.progress = recorded_progress;
    return outcome;
}

} // namespace

UpdateOutcome RunUpdate() {
    return Observe(RunFirmwareUpdate);
}

UpdateOutcome RunUpdateWith(const ImageEntry images[kMaxImages]) {
    return Observe([images] { return RunFirmwareUpdateWith(images); });
}

std::uint8_t SequenceAfter(std::uint8_t first, std::uint32_t n) {
    constexpr std::uint32_t kSequenceValues = 0xFE; // 00 .. FD
    return static_cast<std::uint8_t>((first + n) % kSequenceValues);
}

namespace {

std::uint32_t ChunksOf(std::uint32_t size, std::uint32_t step) {
    return (size + step - 1) / step;
}

} // namespace

RequestPlan PlanOfThisRecord() {
    const auto flash_size = static_cast<std::uint32_t>(DecodedFlashImage().size());
    const auto mcu_size = static_cast<std::uint32_t>(FramedMcuImage().size());
    RequestPlan plan{};
    plan.probe = 3;
    plan.bootloader = 4;
    plan.unlock = 5;
    plan.flash_erase = 6;
    plan.flash_erases = ChunksOf(flash_size, 0x10000);
    plan.flash_chunks = ChunksOf(flash_size, 128);
    plan.flash_program = plan.flash_erase + plan.flash_erases;
    plan.flash_verify = plan.flash_program + plan.flash_chunks;
    plan.mcu_erase = plan.flash_verify + 2 * plan.flash_chunks;
    plan.mcu_chunks = ChunksOf(mcu_size, 128);
    plan.mcu_program = plan.mcu_erase + ChunksOf(mcu_size, 0x10000);
    plan.mcu_verify = plan.mcu_program + plan.mcu_chunks;
    plan.restart = plan.mcu_verify + 2 * plan.mcu_chunks;
    return plan;
}

const std::vector<std::uint8_t>& DecodedFlashImage() {
    static const std::vector<std::uint8_t> image = [] {
        const ImageEntry& entry = device_record.images[0];
        std::uint32_t length = 0;
        std::uint8_t* decoded = Bz2DecodeToHeap(entry.data, entry.length, &length);
        std::vector<std::uint8_t> bytes(decoded, decoded + (decoded ? length : 0));
        std::free(decoded);
        return bytes;
    }();
    return image;
}

const std::vector<std::uint8_t>& FramedMcuImage() {
    static const std::vector<std::uint8_t> image = [] {
        const ImageEntry& entry = device_record.images[1];
        return SimFrameMcuImage(std::vector<std::uint8_t>(entry.data, entry.data + entry.length),
                                2);
    }();
    return image;
}

bool IsRestartRequest(const void* bytes, std::uint32_t count) {
    // FF, Length 08, AccessWrite, 0F 00 00, sequence, register 30, 01 AA, checksum, FF.
    const auto* frame = static_cast<const std::uint8_t*>(bytes);
    const std::uint8_t head[] = {0xFF, 0x08, 0x80, 0x0F, 0x00, 0x00};
    const std::uint8_t tail[] = {0x30, 0x01, 0xAA};
    return count >= 10 && std::memcmp(frame, head, sizeof head) == 0 &&
           std::memcmp(frame + 7, tail, sizeof tail) == 0;
}

std::vector<std::uint8_t> FlashOfA17(std::uint32_t address, std::size_t count) {
    const std::span<const std::uint8_t> flash = SimDoorFlash("A17");
    if (flash.size() < address + count)
        return {};
    return {flash.begin() + address, flash.begin() + static_cast<std::ptrdiff_t>(address + count)};
}

void ExpectNoLeak() {
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "unreachable allocations (see above)";
#endif
}
