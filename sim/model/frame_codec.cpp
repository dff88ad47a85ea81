#include "sim/model/frame_codec.h"
#include "sim/model/log_lines.h"

namespace {

// The frame has ended with its end marker: check the Length and the checksum, which
// sums every body byte but the first.
SimParsedFrame CheckFrame(const std::vector<std::uint8_t>& decoded) {
    SimParsedFrame frame{{}, {}, true};
    if (decoded.size() < 2) {
        frame.violation =
            SimPrintf("frame of %u bytes too short", static_cast<unsigned>(decoded.size()));
        return frame;
    }
    const std::size_t body_size = decoded.size() - 1;
    if (decoded[0] != body_size - 1) {
        frame.violation = SimPrintf("length 0x%02x for %u bytes after it", decoded[0],
                                    static_cast<unsigned>(body_size - 1));
        return frame;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < body_size; ++i)
        sum = static_cast<std::uint8_t>(sum + decoded[i]);
    if (sum != decoded[body_size]) {
        frame.violation =
            SimPrintf("request checksum 0x%02x, expected 0x%02x", decoded[body_size], sum);
        return frame;
    }
    frame.body.assign(decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(body_size));
    return frame;
}

void Drop(SimFrameParser* parser, std::string violation, std::vector<SimParsedFrame>* found) {
    found->push_back({{}, std::move(violation), false});
    parser->broken = true;
}

void EndFrame(SimFrameParser* parser, std::vector<SimParsedFrame>* found) {
    if (parser->broken)
        found->push_back({{}, {}, true});
    else
        found->push_back(CheckFrame(parser->decoded));
    parser->in_frame = false;
}

void StartFrame(SimFrameParser* parser) {
    parser->in_frame = true;
    parser->escape = false;
    parser->broken = false;
    parser->stray = false;
    parser->decoded.clear();
}

} // namespace

void SimFeedRequestBytes(SimFrameParser* parser, std::span<const std::uint8_t> bytes,
                         std::vector<SimParsedFrame>* found) {
    for (std::uint8_t byte : bytes) {
        if (!parser->in_frame) {
            if (byte == kFrameMarker) {
                StartFrame(parser);
            } else if (!parser->stray) {
                found->push_back({{}, SimPrintf("byte 0x%02x outside a frame", byte), false});
                parser->stray = true;
            }
            continue;
        }
        if (parser->escape) {
            parser->escape = false;
            if (byte == 0x00 || byte == 0x01) {
                if (!parser->broken)
                    parser->decoded.push_back(static_cast<std::uint8_t>(kFrameEscape + byte));
                continue;
            }
            if (!parser->broken)
                Drop(parser, SimPrintf("bad escape fe %02x", byte), found);
            if (byte == kFrameMarker)
                EndFrame(parser, found);
            continue;
        }
        if (byte == kFrameEscape) {
            parser->escape = true;
        } else if (byte == kFrameMarker) {
            if (parser->decoded.empty() && !parser->broken) {
                // FF FF: the first marker was a stray; the second starts a frame.
                found->push_back({{}, "empty frame", false});
                StartFrame(parser);
            } else {
                EndFrame(parser, found);
            }
        } else if (!parser->broken) {
            parser->decoded.push_back(byte);
        }
        if (!parser->broken && parser->decoded.size() > kMaxRequestDecoded)
            Drop(parser,
                 SimPrintf("frame longer than %u bytes", static_cast<unsigned>(kMaxRequestDecoded)),
                 found);
    }
}

std::uint8_t SimReplyChecksum(std::span<const std::uint8_t> body) {
    std::uint8_t sum = 0;
    for (std::uint8_t byte : body)
        sum = static_cast<std::uint8_t>(sum + byte);
    return sum;
}

std::vector<std::uint8_t> SimEncodeReply(std::span<const std::uint8_t> body,
                                         std::uint8_t checksum) {
    std::vector<std::uint8_t> wire;
    wire.reserve(2 * body.size() + 4);
    const auto put = [&wire](std::uint8_t byte) {
        if (byte >= kFrameEscape) {
            wire.push_back(kFrameEscape);
            wire.push_back(static_cast<std::uint8_t>(byte - kFrameEscape));
        } else {
            wire.push_back(byte);
        }
    };
    wire.push_back(kFrameMarker);
    for (std::uint8_t byte : body)
        put(byte);
    put(checksum);
    wire.push_back(kFrameMarker);
    return wire;
}
