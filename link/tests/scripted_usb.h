// A USB library whose module is a script, for tests of the link without the simulated
// module: reads hand out queued chunks, writes are recorded.
#pragma once
#include "usb/usb_library.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct ScriptedUsb {
    std::deque<Bytes> chunks;      // one per SI_Read; when none is left, read_status
    SiStatus read_status = 0x13;   // as a read time-out
    std::uint32_t extra_count = 0; // added to each bytes-returned, as a faulty library might
    std::vector<Bytes> pieces;     // one per SI_Write
    std::size_t writes_before_failure = SIZE_MAX;
    SiStatus write_status = 0x03;
    std::vector<std::string> serials; // serial-number strings, bus order
    SiStatus check_status = 0;
    int closes = 0;
    std::vector<std::uint32_t> read_timeouts_ms; // one per SI_SetTimeouts
    std::uint32_t write_timeout_ms = 0;
};

extern ScriptedUsb scripted_usb;

// Starts a fresh script with module A17 and points usb_library at it.
void UseScriptedUsb();

// The wire form of a reply: FF, escaped body, escaped checksum (sum of all body
// bytes), FF.
Bytes ReplyFrame(const Bytes& body);
// Queues raw bytes as SI_Read chunks of at most 64 bytes.
void QueueRaw(const Bytes& raw);
void QueueReply(const Bytes& body);
// A reply of the module's usual layout: Length, status 0, 0F 00 00, sequence 0, data.
Bytes ReplyBody(const Bytes& data);

// Splits whole FF … FF frames off the front of raw; their bodies, checksum dropped.
std::vector<Bytes> TakeRequestBodies(Bytes& raw);

// Everything written, and the decoded request bodies in order.
Bytes WrittenBytes();
std::vector<Bytes> SentBodies();

// The request body a register command should send.
Bytes RequestBody(std::uint8_t access, std::uint8_t sequence, std::uint8_t register_address,
                  const Bytes& payload);
