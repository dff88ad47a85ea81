// The world of fuzz_device: a USB library and device scan whose every answer comes from
// the script (the fuzz input), one op per call. A run op lets a sound module answer the
// next calls instead, so a short script reaches deep into an update; when the script
// runs out, the module has gone away. Pauses take no time.
//
// Op bytes, taken one per call (a run covers several calls):
//   00-0F b   the module answers the next ((op << 8) | b) + 1 calls
//   10-1F b   the module answers the next (((op & 0F) << 8) | b) * 64 calls
//   20-7F     on a read: a count byte, then up to 64 bytes (fewer when the script ends),
//             in place of the module's next chunk; the count is reported as given. Other calls: a
//             valid answer made from op (device count op & 3, serial "p17" or "A17" by op & 1,
//             queue status op & 3, op & 7 modules in a scan).
//   80-EF p x on a read: the module's chunk with byte p (modulo its length) XOR x.
//             Other calls: as 20-7F.
//   F0-FF     the call fails with status op (a scan finds nothing).
#pragma once
#include "link/flash_commands.h"
#include "link/tests/scripted_usb.h"
#include "usb/usb_library.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

using FlashChunk = std::array<std::uint8_t, kFlashChunkSize>;

// One read-back of a flash chunk: where, what the program had written there, and which
// of the handed-out chunks (see DeviceScript) the library gave for the reply.
struct ReadBackRecord {
    std::uint32_t address;
    FlashChunk written;
    std::size_t first_chunk;
    std::size_t chunk_count;
};

struct DeviceScript {
    const std::uint8_t* next;
    std::size_t left;
    std::uint32_t module_calls_left; // of the current run op

    // The sound module behind the run ops.
    Bytes request; // frame bytes written and not yet taken
    Bytes reply;   // reply bytes, read up to reply_read
    std::size_t reply_read;
    std::map<std::uint32_t, FlashChunk> flash; // programmed chunks by address
    std::uint32_t latched_address;
    bool open;
    bool left_bus; // after the restart request, the module has been seen gone once

    // What the program did, for the checks.
    std::uint64_t calls;
    std::vector<ReadBackRecord> read_backs;
    // Every chunk the library handed out for a read-back, as the program's buffer held it,
    // end to end; chunk i ends at handed_out_ends[i].
    Bytes handed_out;
    std::vector<std::size_t> handed_out_ends;
    bool reading_back; // reads go to the last read-back record until the next write
    bool restart_requested;
    std::int32_t present_before_restart;
    std::vector<std::int32_t> present_after_restart;
};

extern DeviceScript device_script;

// Starts a script over data and points usb_library at its library.
void StartDeviceScript(const std::uint8_t* data, std::size_t size);

// Ends the script, freeing all it allocated: an input that frees what it allocated is run
// once, where libFuzzer runs again (and leak-checks) one that leaves more allocated.
void EndDeviceScript();

// What the library hands out for each read of a recorded read-back, then a failing
// status; for decoding the reply again with the program's own receive.
void ReplayChunks(const ReadBackRecord& record);
