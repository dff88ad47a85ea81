// The wire frames: request frames taken apart byte by byte as the host's writes
// arrive, reply frames put together.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr std::uint8_t kFrameMarker = 0xFF;
inline constexpr std::uint8_t kFrameEscape = 0xFE;
inline constexpr std::size_t kMaxRequestDecoded = 257; // Length, 255 more, checksum

struct SimFrameParser {
    bool in_frame = false;
    bool escape = false; // the previous byte was FE
    bool broken = false; // a violation was logged; the rest of the frame is dropped
    bool stray = false;  // inside a run of bytes outside any frame
    std::vector<std::uint8_t> decoded;
};

// What the parser found: a request body with its framing checked (checksum not
// included), or a violation text for a frame that is dropped, or for stray bytes.
struct SimParsedFrame {
    std::vector<std::uint8_t> body;
    std::string violation;  // empty for a good body
    bool counts_as_request; // a whole frame arrived (good or not)
};

void SimFeedRequestBytes(SimFrameParser* parser, std::span<const std::uint8_t> bytes,
                         std::vector<SimParsedFrame>* found);

// Checksum of a reply: the sum of every body byte, the first included.
std::uint8_t SimReplyChecksum(std::span<const std::uint8_t> body);
// FF, escaped body, escaped checksum, FF.
std::vector<std::uint8_t> SimEncodeReply(std::span<const std::uint8_t> body, std::uint8_t checksum);
