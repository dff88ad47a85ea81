#include "fuzz/device_script.h"

#include "link/link.h"
#include "link/progress.h"
#include "update/pause.h"
#include "usb/usb_scan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

DeviceScript device_script;

namespace {

constexpr SiStatus kGoneStatus = 0xFF; // the library's "device not found"
constexpr std::uint8_t kModuleType = 0x42;
constexpr std::uint8_t kModuleSubtype = 0x1B;
constexpr std::uint8_t kBootloaderVersion = 1;
int handle_token;

// What one call gets: the module's answer, the module gone, or an op byte of 20-FF.
enum Answer : std::int32_t { ModuleAnswers = -1, ModuleGone = -2 };

std::uint8_t Take() {
    DeviceScript& s = device_script;
    if (s.left == 0)
        return 0;
    --s.left;
    return *s.next++;
}

std::int32_t NextAnswer() {
    DeviceScript& s = device_script;
    ++s.calls;
    if (s.module_calls_left == 0) {
        if (s.left == 0)
            return ModuleGone;
        const std::uint8_t op = Take();
        if (op >= 0x20)
            return op;
        const std::uint32_t b = Take();
        s.module_calls_left = op < 0x10 ? ((std::uint32_t{op} << 8) | b) + 1
                                        : (((std::uint32_t{op} & 0x0F) << 8) | b) * 64;
        if (s.module_calls_left == 0)
            return NextAnswer();
    }
    --s.module_calls_left;
    return ModuleAnswers;
}

// The status of a call that fails: the module gone, or an op of F0-FF; else 0.
SiStatus FailureOf(std::int32_t answer) {
    return answer == ModuleGone ? kGoneStatus : answer >= 0xF0 ? answer : 0;
}

void RequireOpen(SiHandle handle) {
    if (!device_script.open || handle != &handle_token)
        std::abort(); // a handle used after it was closed, or never opened
}

// --- The sound module -------------------------------------------------------------

// The module's reply carrying data: queued as its wire form.
void AnswerWith(const Bytes& data) {
    DeviceScript& s = device_script;
    if (s.reply_read == s.reply.size()) { // all read: start again at the front
        s.reply.clear();
        s.reply_read = 0;
    }
    const Bytes frame = ReplyFrame(ReplyBody(data));
    s.reply.insert(s.reply.end(), frame.begin(), frame.end());
}

std::size_t ReplyWaiting() {
    return device_script.reply.size() - device_script.reply_read;
}

// Takes the module's next chunk of reply (at most 64 bytes) into chunk; returns its size.
std::size_t TakeModuleChunk(std::uint8_t chunk[kLinkPieceSize]) {
    DeviceScript& s = device_script;
    const std::size_t n = std::min<std::size_t>(ReplyWaiting(), kLinkPieceSize);
    std::copy_n(s.reply.begin() + static_cast<std::ptrdiff_t>(s.reply_read), n, chunk);
    s.reply_read += n;
    return n;
}

std::uint32_t Address(const std::uint8_t* payload) {
    return std::uint32_t{payload[2]} << 16 | std::uint32_t{payload[3]} << 8 | payload[4];
}

FlashChunk FlashAt(std::uint32_t address) {
    const auto found = device_script.flash.find(address);
    if (found != device_script.flash.end())
        return found->second;
    FlashChunk erased;
    erased.fill(0xFF);
    return erased;
}

// A write through the flash port: erase, program, latch a read address, or restart.
void FlashPortWrite(const std::uint8_t* payload, std::size_t size) {
    DeviceScript& s = device_script;
    if (size == 2 && payload[1] == 0xAA) {
        s.restart_requested = true; // the module restarts without a reply
        return;
    }
    if (size >= 5) {
        const std::uint32_t address = Address(payload);
        if (payload[1] == kFlashErase) {
            const std::uint32_t block = address / kEraseBlockSize * kEraseBlockSize;
            s.flash.erase(s.flash.lower_bound(block), s.flash.lower_bound(block + kEraseBlockSize));
        } else if (payload[1] == kFlashProgram && size == 5 + kFlashChunkSize) {
            std::copy_n(payload + 5, kFlashChunkSize, s.flash[address].begin());
        } else if (payload[1] == kFlashRead) {
            s.latched_address = address;
        }
    }
    AnswerWith({});
}

void Request(const Bytes& body) {
    DeviceScript& s = device_script;
    if (body.size() < 7 || body[2] != 0x0F) { // the raw identification request
        AnswerWith({0x01, kModuleType, kModuleSubtype, 0x00, 0x00});
        return;
    }
    const bool write = (body[1] & 0x80) != 0;
    const std::int32_t register_address = body[6];
    if (register_address == FlashPort && write) {
        FlashPortWrite(body.data() + 7, body.size() - 7);
    } else if (register_address == FlashPort) {
        const ReadBackRecord record{s.latched_address, FlashAt(s.latched_address),
                                    s.handed_out_ends.size(), 0};
        s.read_backs.push_back(record);
        s.reading_back = true;
        Bytes data(5 + kFlashChunkSize, 0x00); // the data lies at reply position 12
        std::copy(record.written.begin(), record.written.end(), data.begin() + 5);
        AnswerWith(data);
    } else if (register_address == kVersionRegister && !write) {
        AnswerWith({'0', '0', '7', '8', '7', 0x00});
    } else if (register_address == kBootloaderRegister && !write) {
        AnswerWith({kBootloaderVersion});
    } else {
        AnswerWith({});
    }
}

// Takes every whole frame off the written bytes.
void Receive(const std::uint8_t* bytes, std::uint32_t count) {
    Bytes& pending = device_script.request;
    pending.insert(pending.end(), bytes, bytes + count);
    for (const Bytes& body : TakeRequestBodies(pending))
        if (!body.empty())
            Request(body);
}

// --- The library --------------------------------------------------------------------

SiStatus USB_CALL GetNumDevices(std::uint32_t* count) {
    const std::int32_t answer = NextAnswer();
    if (answer >= 0xF0)
        return answer;
    *count = answer == ModuleAnswers ? 1 : answer == ModuleGone ? 0 : answer & 3;
    return 0;
}

SiStatus USB_CALL GetProductString(std::uint32_t, void* text, std::uint32_t) {
    const std::int32_t answer = NextAnswer();
    if (const SiStatus failure = FailureOf(answer))
        return failure;
    const char* serial = answer != ModuleAnswers && (answer & 1) ? "p17" : "A17";
    std::memcpy(text, serial, 4);
    return 0;
}

SiStatus USB_CALL SetTimeouts(std::uint32_t, std::uint32_t) {
    ++device_script.calls;
    return 0;
}

SiStatus USB_CALL Open(std::uint32_t, SiHandle* handle) {
    const std::int32_t answer = NextAnswer();
    if (const SiStatus failure = FailureOf(answer))
        return failure;
    if (device_script.open)
        std::abort(); // opened twice
    device_script.open = true;
    *handle = &handle_token;
    return 0;
}

SiStatus USB_CALL Close(SiHandle handle) {
    ++device_script.calls;
    RequireOpen(handle);
    device_script.open = false;
    return 0;
}

SiStatus USB_CALL CheckRXQueue(SiHandle handle, std::uint32_t* bytes, std::uint32_t* status) {
    RequireOpen(handle);
    const std::int32_t answer = NextAnswer();
    if (const SiStatus failure = FailureOf(answer))
        return failure;
    const bool waiting = ReplyWaiting() != 0;
    *bytes = answer == ModuleAnswers ? static_cast<std::uint32_t>(ReplyWaiting())
                                     : static_cast<std::uint32_t>(answer);
    *status = answer == ModuleAnswers ? (waiting ? SI_RX_READY : 0) : answer & 3;
    return 0;
}

SiStatus USB_CALL Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                       std::uint32_t* returned, void*) {
    RequireOpen(handle);
    const std::int32_t answer = NextAnswer();
    if (const SiStatus failure = FailureOf(answer))
        return failure;
    std::uint32_t count = 0;
    std::uint8_t chunk[kLinkPieceSize];
    const std::size_t chunk_size = TakeModuleChunk(chunk);
    if (answer >= 0x20 && answer < 0x80) { // these bytes come instead of the module's
        count = Take();
        const std::size_t copied = std::min<std::size_t>({count, to_read, device_script.left});
        std::memcpy(buffer, device_script.next, copied);
        device_script.next += copied;
        device_script.left -= copied;
    } else {
        if (answer != ModuleAnswers) {
            const std::uint8_t at = Take();
            const std::uint8_t mask = Take();
            if (chunk_size != 0)
                chunk[at % chunk_size] ^= mask;
        }
        count = static_cast<std::uint32_t>(std::min<std::size_t>(chunk_size, to_read));
        std::copy_n(chunk, count, static_cast<std::uint8_t*>(buffer));
    }
    *returned = count;
    if (device_script.reading_back) {
        DeviceScript& s = device_script;
        const auto* seen = static_cast<const std::uint8_t*>(buffer);
        s.handed_out.insert(s.handed_out.end(), seen, seen + std::min(count, to_read));
        s.handed_out_ends.push_back(s.handed_out.size());
        ++s.read_backs.back().chunk_count;
    }
    return 0;
}

SiStatus USB_CALL Write(SiHandle handle, const void* buffer, std::uint32_t count,
                        std::uint32_t* written, void*) {
    RequireOpen(handle);
    device_script.reading_back = false;
    const std::int32_t answer = NextAnswer();
    if (const SiStatus failure = FailureOf(answer)) {
        device_script.request.clear(); // the module never sees the rest of that frame
        return failure;
    }
    Receive(static_cast<const std::uint8_t*>(buffer), count);
    *written = count;
    return 0;
}

// The handed-out chunks still to replay.
std::size_t replay_next = 0;
std::size_t replay_end = 0;

SiStatus USB_CALL ReplayRead(SiHandle, void* buffer, std::uint32_t to_read, std::uint32_t* returned,
                             void*) {
    const DeviceScript& s = device_script;
    if (replay_next == replay_end)
        return kGoneStatus;
    const std::size_t begin = replay_next == 0 ? 0 : s.handed_out_ends[replay_next - 1];
    const std::size_t size = s.handed_out_ends[replay_next++] - begin;
    const std::size_t n = std::min<std::size_t>(size, to_read);
    std::copy_n(s.handed_out.begin() + static_cast<std::ptrdiff_t>(begin), n,
                static_cast<std::uint8_t*>(buffer));
    *returned = static_cast<std::uint32_t>(n);
    return 0;
}

} // namespace

void StartDeviceScript(const std::uint8_t* data, std::size_t size) {
    device_script = DeviceScript{};
    device_script.next = data;
    device_script.left = size;
    device_script.present_before_restart = -1;
    usb_library = UsbLibrary{&device_script, GetNumDevices, GetProductString,
                             SetTimeouts,    Open,          Close,
                             CheckRXQueue,   Read,          Write};
    DeviceHandle = nullptr;
}

void EndDeviceScript() {
    device_script = DeviceScript{};
}

void ReplayChunks(const ReadBackRecord& record) {
    replay_next = record.first_chunk;
    replay_end = record.first_chunk + record.chunk_count;
    usb_library.SI_Read = ReplayRead;
}

// --- The program's other seams ------------------------------------------------------

std::int32_t ScanUsbDevices(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t* count) {
    DeviceScript& s = device_script;
    *count = 0;
    const std::int32_t answer = NextAnswer();
    std::int32_t present = 0;
    if (answer == ModuleAnswers) {
        present = !s.restart_requested || s.left_bus ? 1 : 0;
        s.left_bus = s.left_bus || s.restart_requested;
    } else if (answer >= 0 && answer < 0xF0) {
        present = answer & 7;
    }
    for (std::int32_t i = 0; i < present; ++i) {
        entries[i] = new (std::nothrow) UsbDeviceEntry{};
        if (entries[i] == nullptr)
            break;
        ++*count;
    }
    if (s.restart_requested)
        s.present_after_restart.push_back(*count);
    else
        s.present_before_restart = *count;
    return answer >= 0xF0 ? -2 : 0;
}

void PauseMs(std::uint32_t) {}
void BeginFinePauses() {}
void EndFinePauses() {}

std::int32_t SetProgress(std::int32_t percent) {
    if (percent < 0 || percent > 100)
        std::abort();
    return 0;
}
