// The framed register protocol over the USB library's byte pipe: every exchange is one
// request frame from the host answered by one reply frame. A frame on the wire is
// FF, the escaped body, the escaped checksum, FF.
#pragma once
#include "usb/usb_library.h"

#include <cstdint>

inline constexpr std::uint8_t AccessWrite = 0x80;
inline constexpr std::uint8_t AccessRead = 0x00;

// Registers of the module.
inline constexpr std::int32_t kVersionRegister = 0x09;    // firmware version text
inline constexpr std::int32_t FlashPort = 0x30;           // bytes clocked to the SPI flash
inline constexpr std::int32_t kBootloaderRegister = 0x41; // bootloader version
inline constexpr std::int32_t kUnlockRegister = 0x42;     // unlocks the SPI flash for writing

// A negative register sends the payload as a whole raw body.
inline constexpr std::int32_t kRawBody = -1;

inline constexpr std::uint32_t kMaxHeadedPayload = 249;
inline constexpr std::uint32_t kLinkPieceSize = 64; // bytes per library read or write
inline constexpr std::uint32_t kMaxFrameSize = 516; // 256 body bytes and the checksum, all escaped
inline constexpr std::uint32_t kReplyBufferSize = 256; // every reply buffer holds at least this

// Results of the link besides the negated library statuses.
inline constexpr std::int32_t LinkPayloadTooLong = -1; // headed payload over 249 bytes
inline constexpr std::int32_t LinkOverCapacity = -32;
inline constexpr std::int32_t LinkNoEndMarker = -48;
inline constexpr std::int32_t LinkBadChecksum = -64;

// Sequence byte of the next request: 0xAA at start, then 0x00 … 0xFD round and round,
// never reset.
extern std::uint8_t LinkSequence;

// A failed library call passed on as its status negated. A status that is already
// negative stays negative, so a failure can never read as success.
inline std::int32_t NegatedStatus(SiStatus status) {
    return status > 0 ? -status : status;
}

// Writes the wire form of one body or checksum byte to out (FE -> FE 00, FF -> FE 01);
// returns the number of bytes written, 1 or 2.
std::uint32_t EscapeByte(std::uint8_t byte, std::uint8_t out[2]);

// Sends one request: with the 7-byte header when register_address is 0 or more,
// otherwise the payload as a raw body (its first byte its own Length). The payload may
// be null when length is 0. 0, LinkPayloadTooLong, or a negated SI_Write status.
std::int32_t LinkSend(SiHandle handle, std::int32_t register_address, std::uint8_t access,
                      std::uint8_t length, const std::uint8_t* payload);

// Receives one reply into buffer (capacity bounds the whole decoded frame, markers and
// checksum included). Returns the checksum's position, so the body is at 1 .. result-1;
// or a negated SI_Read status, LinkOverCapacity, LinkNoEndMarker or LinkBadChecksum.
std::int32_t LinkReceive(SiHandle handle, std::uint32_t capacity, std::uint8_t* buffer);

// A reply the program waits for: what it answers, named in the trace when its deadline
// passes, and that deadline (link/deadlines.h).
struct LinkWait {
    const char* step;
    std::uint32_t deadline_s;
};

// Gives the library read_deadline_s as its read time-out and the write deadline as its
// write time-out; after the module is opened and when an update starts.
void LinkSetTimeouts(std::uint32_t read_deadline_s);

// LinkReceive within the wait's deadline, which becomes the library's read time-out
// first when it is not already. A deadline that passes is traced with the step and the
// time waited.
std::int32_t LinkAwaitReply(SiHandle handle, std::uint32_t capacity, std::uint8_t* buffer,
                            const LinkWait& wait);

// True when a receive result means that no reply came (the library's read failed), as
// against a reply that came spoiled.
bool LinkNoReply(std::int32_t received);

// Consumes one reply without examining it, and traces it; the receive's result.
std::int32_t LinkDumpReply(SiHandle handle, const LinkWait& wait);
