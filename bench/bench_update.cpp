// bench_update: a whole update of this build's record against the in-process simulated
// module. Prints the exchanges, the host's processor time in total and per exchange
// (best of several rounds, since the machine is shared; the simulator's share
// included), and, with 1 ms of latency per library transfer, the simulated duration
// against its floor: every transfer's latency, the mandated pauses, and the polls up
// to the first one that can see the module back.
#include "link/identify.h"
#include "link/progress.h"
#include "sim/inprocess/sim_door.h"
#include "update/firmware_update.h"
#include "usb/usb_library.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

constexpr std::uint64_t kLatencyUs = 1000;
constexpr std::uint64_t kMandatedPausesUs = (100 + 100) * 1000; // after the probe, after the images
constexpr std::uint64_t kPollUs = 10 * 1000;
constexpr int kRounds = 5;

std::uint64_t transfers = 0;
SiReadFn door_read = nullptr;
SiWriteFn door_write = nullptr;

SiStatus USB_CALL CountedRead(SiHandle handle, void* buffer, std::uint32_t count,
                              std::uint32_t* returned, void* overlapped) {
    ++transfers;
    return door_read(handle, buffer, count, returned, overlapped);
}

SiStatus USB_CALL CountedWrite(SiHandle handle, const void* buffer, std::uint32_t count,
                               std::uint32_t* written, void* overlapped) {
    ++transfers;
    return door_write(handle, buffer, count, written, overlapped);
}

std::uint64_t EventTime(const std::string& line) {
    for (const SimEvent& event : SimDoorEvents())
        if (event.line == line)
            return event.time_us;
    return 0;
}

struct Round {
    std::int32_t result;
    std::uint64_t exchanges;
    std::uint64_t transfers;
    double cpu_us;
    std::uint64_t duration_us;
    std::uint64_t floor_us;
};

// Trace goes to standard output; the bench's own figures must not drown in it.
Round RunRound() {
    std::string error;
    if (SimDoorStart("[A17]\nlatency_us = " + std::to_string(kLatencyUs) + "\n", &error) != 0) {
        std::fprintf(stderr, "bench_update: %s\n", error.c_str());
        return {-1, 0, 0, 0, 0, 0};
    }
    SimDoorFillUsbLibrary();
    std::fflush(stdout);
    const int saved_stdout = dup(1);
    const int null_output = open("/dev/null", O_WRONLY);
    dup2(null_output, 1);
    IdentifyDevice();

    door_read = usb_library.SI_Read;
    door_write = usb_library.SI_Write;
    usb_library.SI_Read = CountedRead;
    usb_library.SI_Write = CountedWrite;
    transfers = 0;
    const std::uint64_t exchanges_before = SimDoorExchangeCount();
    const std::uint64_t start_us = SimDoorNowUs();
    const std::clock_t cpu_start = std::clock();
    Round round{};
    round.result = RunFirmwareUpdate();
    const std::clock_t cpu_end = std::clock();
    round.duration_us = SimDoorNowUs() - start_us;

    std::fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    close(null_output);

    round.exchanges = SimDoorExchangeCount() - exchanges_before;
    round.transfers = transfers;
    round.cpu_us = 1e6 * static_cast<double>(cpu_end - cpu_start) / CLOCKS_PER_SEC;
    // The module is back return - request after the request reached it; the first poll
    // at or after that sees it, and one poll pause follows.
    const std::uint64_t away_us = EventTime("return") - EventTime("restart-request");
    const std::uint64_t wait_us = (away_us + kPollUs - 1) / kPollUs * kPollUs + kPollUs;
    round.floor_us = round.transfers * kLatencyUs + kMandatedPausesUs + wait_us;
    SimDoorStop();
    return round;
}

} // namespace

std::int32_t SetProgress(std::int32_t percent) {
    return percent;
}

int main() {
    Round best{};
    for (int i = 0; i < kRounds; ++i) {
        const Round round = RunRound();
        if (round.result != 0) {
            std::printf("bench_update: the update failed (%d)\n", round.result);
            return 1;
        }
        if (i == 0 || round.cpu_us < best.cpu_us)
            best = round;
    }
    const double cpu_per_exchange = best.cpu_us / static_cast<double>(best.exchanges);
    const double over_floor =
        static_cast<double>(best.duration_us) / static_cast<double>(best.floor_us);
    std::printf("exchanges:              %llu\n", static_cast<unsigned long long>(best.exchanges));
    std::printf("library transfers:      %llu\n", static_cast<unsigned long long>(best.transfers));
    std::printf("host cpu, whole update: %.1f ms (best of %d)\n", best.cpu_us / 1000, kRounds);
    std::printf("host cpu per exchange:  %.2f us (goal 5)\n", cpu_per_exchange);
    std::printf("simulated duration:     %.3f s, floor %.3f s (latency %llu us per transfer)\n",
                static_cast<double>(best.duration_us) / 1e6,
                static_cast<double>(best.floor_us) / 1e6,
                static_cast<unsigned long long>(kLatencyUs));
    std::printf("bench_update: exchanges=%llu cpu_us_per_exchange=%.2f duration_over_floor=%.4f\n",
                static_cast<unsigned long long>(best.exchanges), cpu_per_exchange, over_floor);
    return 0;
}
