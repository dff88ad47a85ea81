// A minimal host for the simulator's tests, written from the wire rules rather than
// from the program's link code: request frames built by hand, replies read back
// through the door's library table and decoded.
#pragma once
#include "usb/usb_library.h"
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kWrite = 0x80;
inline constexpr std::uint8_t kRead = 0x00;

// FF, escaped body, escaped checksum (body bytes after the first), FF.
Bytes RequestFrame(const Bytes& body);
// Length, access, 0F 00 00, sequence, register, payload.
Bytes RegisterBody(std::uint8_t sequence, std::uint8_t reg, std::uint8_t access,
                   const Bytes& payload = {});

// Builds a bus from the text, fills usb_library, and opens device 0 into DeviceHandle.
void StartAndOpen(const std::string& module_ini);

// Writes the frame in pieces of at most 64 bytes. The first nonzero status, or 0.
SiStatus WriteFrame(const Bytes& frame);

struct ReadResult {
    SiStatus status = 0; // of the last SI_Read
    Bytes raw;           // every byte read
    Bytes decoded;       // start marker, body, checksum, end marker
};
// Reads 64-byte chunks until an end marker, a short chunk or a failed read.
ReadResult ReadReply();
// True when decoded is a whole frame whose checksum (all body bytes) matches.
bool ReplyChecksumOk(const Bytes& decoded);

// Sends a register request with the next sequence of a running counter and reads
// the reply.
struct TestHost {
    std::uint8_t sequence = 0xAA;
    ReadResult Exchange(std::uint8_t reg, std::uint8_t access, const Bytes& payload = {});
    void Send(std::uint8_t reg, std::uint8_t access, const Bytes& payload = {});
};

// A correct host's image write: unlock, erase, program and verify in 128-byte
// chunks. Returns the number of chunks that did not verify.
int WriteImageAsHost(TestHost* host, std::uint32_t address, const Bytes& image);

std::string StandinMcuImagePath(); // the stand-in image the build generates
