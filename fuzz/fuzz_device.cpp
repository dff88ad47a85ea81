// Runs the identification and then the whole update against a module whose every answer
// comes from the input (see device_script.h). An input that begins with D5 and that a
// hash of its bytes picks (one in 16) writes this build's record; any other a small table
// (a plain, a compressed and a checksummed image) that reaches the same code in far fewer
// exchanges. Either's compressed image is decoded once per process (see decode_once.cpp).
// Checked on every input: no sanitizer report or leak, results in their documented sets
// with DeviceHandle to match, a bound on library calls, and an update reported done only
// when every chunk of every image was read back equal to what was written and the module
// left the bus and came back.
#include "fuzz/device_script.h"
#include "fuzz/small_table.h"
#include "link/identify.h"
#include "link/link.h"
#include "payload/bz2_decoder.h"
#include "update/firmware_update.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t kRecordSelector = 0xD5;
// A whole update of the record costs as much as several hundred inputs of the small
// table, and each that ends somewhere new is kept and mutated again, so that the record
// would take ever more of the run: of the inputs that select it, one in 16 writes it,
// chosen by a hash of all their bytes; the others write the small table.
constexpr std::uint32_t kRecordEvery = 16;
constexpr std::uint32_t kReadBackCapacity = 250;
constexpr std::uint32_t kReadBackDataAt = 12;
constexpr std::uint64_t kWritesPerFrame = (kMaxFrameSize + kLinkPieceSize - 1) / kLinkPieceSize;
// Every full chunk stores at least one byte in two (FE 00 pairs), so a receive meets
// its capacity of at most 256 within this many reads.
constexpr std::uint64_t kReadsPerReply = 2 * kReplyBufferSize / kLinkPieceSize + 2;
constexpr std::uint64_t kResetWaitScans = 1 + 4500; // the count before, then every poll

// FNV-1a; make-device-seeds computes the same to make its record seed one that writes it.
std::uint32_t InputHash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// What the table asks to be written: flash range and, for a plain image, its bytes.
struct ExpectedImage {
    std::uint32_t start;
    std::uint32_t size;
    std::vector<std::uint8_t> bytes; // empty for a checksummed image (framed on writing)
};

struct Table {
    ImageEntry entries[kMaxImages];
    std::vector<ExpectedImage> expected;
    std::uint64_t call_bound;
};

// The table of entries, what it asks to be written, and its bound on library calls.
Table Describe(const ImageEntry entries[kMaxImages]) {
    Table table{};
    std::copy_n(entries, kMaxImages, table.entries);
    // Identification; probe, bootloader, unlock and restart.
    std::uint64_t sends = 2 + 4;
    // Stale reply, identification and version; probe, bootloader and unlock.
    std::uint64_t receives = 3 + 3;
    for (const ImageEntry& entry : table.entries) {
        if (entry.data == nullptr)
            break;
        ExpectedImage image{
            entry.flash_address, entry.length, {entry.data, entry.data + entry.length}};
        if (entry.flags & IMAGE_COMPRESSED) {
            std::uint32_t size = 0;
            std::uint8_t* decoded = Bz2DecodeToHeap(entry.data, entry.length, &size);
            Require(decoded != nullptr);
            image.bytes.assign(decoded, decoded + size);
            image.size = size;
            std::free(decoded);
        }
        if (entry.flags & IMAGE_CHECKSUMMED) {
            image.size += 4;
            image.bytes.clear();
        }
        const std::uint64_t blocks = (image.size + kEraseBlockSize - 1) / kEraseBlockSize;
        const std::uint64_t chunks = (image.size + kFlashChunkSize - 1) / kFlashChunkSize;
        sends += blocks + 3 * chunks; // erase; program, read command, read-back per chunk
        receives += blocks + 3 * chunks;
        table.expected.push_back(image);
    }
    // Counting, opening, time-outs, queue checks and closes; three serials at most; per
    // image, the erase's longer read time-out given and taken back.
    table.call_bound = 8 + 3 + 2 * table.expected.size() + sends * kWritesPerFrame +
                       receives * kReadsPerReply + kResetWaitScans;
    return table;
}

const Table& SmallTable() {
    static const Table table = Describe(SmallImageTable());
    return table;
}

const Table& RecordTable() {
    static const Table table = Describe(device_record.images);
    return table;
}

// A read-back decoded again by the program's own receive: the bytes it compared.
bool ReadBackMatches(const ReadBackRecord& record, std::uint32_t length) {
    ReplayChunks(record);
    std::uint8_t reply[kReplyBufferSize] = {};
    const std::int32_t received = LinkReceive(nullptr, kReadBackCapacity, reply);
    return received >= static_cast<std::int32_t>(kReadBackDataAt + length) &&
           std::memcmp(reply + kReadBackDataAt, record.written.data(), length) == 0;
}

// An update reported done: every chunk was written, read back equal to what was
// written (and, for a plain image, to the image), and the module left and came back.
void CheckDone(const Table& table) {
    // The read-backs by address, the last of each address last among its own.
    std::vector<const ReadBackRecord*> read_backs;
    for (const ReadBackRecord& record : device_script.read_backs)
        read_backs.push_back(&record);
    const auto by_address = [](const ReadBackRecord* a, const ReadBackRecord* b) {
        return a->address < b->address;
    };
    std::stable_sort(read_backs.begin(), read_backs.end(), by_address);
    for (const ExpectedImage& image : table.expected) {
        for (std::uint32_t offset = 0; offset < image.size; offset += kFlashChunkSize) {
            const std::uint32_t address = image.start + offset;
            const std::uint32_t length = std::min(kFlashChunkSize, image.size - offset);
            const auto written = device_script.flash.find(address);
            Require(written != device_script.flash.end());
            if (!image.bytes.empty())
                Require(std::memcmp(written->second.data(), image.bytes.data() + offset, length) ==
                        0);
            const ReadBackRecord key{address, {}, 0, 0};
            const auto after =
                std::upper_bound(read_backs.begin(), read_backs.end(), &key, by_address);
            Require(after != read_backs.begin() && (*(after - 1))->address == address &&
                    ReadBackMatches(**(after - 1), length));
        }
    }
    Require(device_script.restart_requested);
    const std::int32_t before = device_script.present_before_restart;
    const auto& after = device_script.present_after_restart;
    const auto gone = std::find(after.begin(), after.end(), before - 1);
    Require(gone != after.end() && std::find(gone, after.end(), before) != after.end());
}

} // namespace

// Freed memory is kept from reuse up to 10 MB, as ClusterFuzz fuzzes, not 256 MB: at the
// default, the allocations of every exchange keep landing on pages the kernel must fault
// in again. A use after free within an input is still caught. ASAN_OPTIONS overrides it.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=10";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Each input's turns are scaled by its running time, so that the slow whole updates of
    // the record, whose rare features would win them ever more turns, keep to their
    // share. First, so that a flag given wins.
    static char scale_by_time[] = "-entropic_scale_per_exec_time=1";
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, scale_by_time);
    args.push_back(nullptr);
    *argv = args.data();
    ++*argc;
    // The trace is not what is checked here; writing it would only cost time.
    Require(std::freopen("/dev/null", "w", stdout) != nullptr);
    // Built before the first input, so that no input is charged with them.
    SmallTable();
    RecordTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool whole_record =
        data[0] == kRecordSelector && InputHash(data, size) % kRecordEvery == 0;
    const Table& table = whole_record ? RecordTable() : SmallTable();
    StartDeviceScript(data + 1, size - 1);
    LinkSequence = 0xAA;

    const std::int32_t version = IdentifyDevice();
    Require(version >= 1 || (version <= IdentifyNoVersion && version >= IdentifyOpenFailed));
    Require((DeviceHandle != nullptr) == (version >= 1));
    Require(device_script.open == (version >= 1));

    // The dialog offers Start after a version, and after the warning of no version.
    if (version >= 1 || version == IdentifyNoVersion) {
        const bool open_on_entry = DeviceHandle != nullptr;
        const std::uint64_t calls_before = device_script.calls;
        const std::int32_t result =
            whole_record ? RunFirmwareUpdate() : RunFirmwareUpdateWith(table.entries);
        Require(result == 0 || result == -1 || result == -2);
        Require((result == -2) == !open_on_entry);
        Require(result != -2 || device_script.calls == calls_before);
        Require((DeviceHandle != nullptr) == device_script.open);
        if (result == 0) {
            Require(DeviceHandle == nullptr);
            CheckDone(table);
        }
    }
    Require(device_script.calls <= table.call_bound);
    if (DeviceHandle != nullptr) { // as the program does when it ends
        usb_library.SI_Close(DeviceHandle);
        DeviceHandle = nullptr;
    }
    EndDeviceScript();
    return 0;
}
