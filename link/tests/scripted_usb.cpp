#include "link/tests/scripted_usb.h"

#include <algorithm>
#include <cstring>
#include <utility>

ScriptedUsb scripted_usb;

namespace {
Bytes Unescape(const Bytes& raw) {
    Bytes out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == 0xFE && i + 1 < raw.size()) {
            out.push_back(static_cast<std::uint8_t>(0xFE + raw[++i]));
        } else {
            out.push_back(raw[i]);
        }
    }
    return out;
}

SiStatus USB_CALL GetNumDevices(std::uint32_t* count) {
    *count = static_cast<std::uint32_t>(scripted_usb.serials.size());
    return 0;
}

SiStatus USB_CALL GetProductString(std::uint32_t index, void* text, std::uint32_t) {
    const std::string& serial = scripted_usb.serials.at(index);
    std::memcpy(text, serial.c_str(), std::min<std::size_t>(serial.size() + 1, 256));
    return 0;
}

SiStatus USB_CALL SetTimeouts(std::uint32_t read_ms, std::uint32_t write_ms) {
    scripted_usb.read_timeouts_ms.push_back(read_ms);
    scripted_usb.write_timeout_ms = write_ms;
    return 0;
}

SiStatus USB_CALL Open(std::uint32_t, SiHandle* handle) {
    *handle = &scripted_usb;
    return 0;
}

SiStatus USB_CALL Close(SiHandle) {
    ++scripted_usb.closes;
    return 0;
}

SiStatus USB_CALL CheckRXQueue(SiHandle, std::uint32_t* bytes, std::uint32_t* status) {
    *bytes = 0;
    *status = 0;
    return scripted_usb.check_status;
}

SiStatus USB_CALL Read(SiHandle, void* buffer, std::uint32_t, std::uint32_t* returned, void*) {
    if (scripted_usb.chunks.empty())
        return scripted_usb.read_status;
    const Bytes chunk = scripted_usb.chunks.front();
    scripted_usb.chunks.pop_front();
    std::copy(chunk.begin(), chunk.end(), static_cast<std::uint8_t*>(buffer));
    *returned = static_cast<std::uint32_t>(chunk.size()) + scripted_usb.extra_count;
    return 0;
}

SiStatus USB_CALL Write(SiHandle, const void* buffer, std::uint32_t count, std::uint32_t* written,
                        void*) {
    if (scripted_usb.pieces.size() >= scripted_usb.writes_before_failure)
        return scripted_usb.write_status;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    scripted_usb.pieces.emplace_back(bytes, bytes + count);
    *written = count;
    return 0;
}
} // namespace

void UseScriptedUsb() {
    scripted_usb = ScriptedUsb{};
    scripted_usb.serials = {"A17"};
    usb_library = UsbLibrary{&scripted_usb, GetNumDevices, GetProductString,
                             SetTimeouts,   Open,          Close,
                             CheckRXQueue,  Read,          Write};
    DeviceHandle = &scripted_usb;
}

Bytes ReplyFrame(const Bytes& body) {
    Bytes frame;
    frame.reserve(2 * body.size() + 4); // every byte escaped at worst, checksum, markers
    frame.push_back(0xFF);
    std::uint8_t sum = 0;
    auto put = [&frame](std::uint8_t byte) {
        if (byte >= 0xFE) {
            frame.push_back(0xFE);
            frame.push_back(static_cast<std::uint8_t>(byte - 0xFE));
        } else {
            frame.push_back(byte);
        }
    };
    for (std::uint8_t byte : body) {
        put(byte);
        sum = static_cast<std::uint8_t>(sum + byte);
    }
    put(sum);
    frame.push_back(0xFF);
    return frame;
}

void QueueRaw(const Bytes& raw) {
    for (std::size_t at = 0; at < raw.size(); at += 64) {
        const std::size_t end = std::min(raw.size(), at + 64);
        scripted_usb.chunks.emplace_back(raw.begin() + static_cast<std::ptrdiff_t>(at),
                                         raw.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

void QueueReply(const Bytes& body) {
    QueueRaw(ReplyFrame(body));
}

Bytes ReplyBody(const Bytes& data) {
    Bytes body(6 + data.size(), 0x00);
    body[0] = static_cast<std::uint8_t>(body.size() - 1);
    body[2] = 0x0F;
    std::copy(data.begin(), data.end(), body.begin() + 6);
    return body;
}

std::vector<Bytes> TakeRequestBodies(Bytes& raw) {
    std::vector<Bytes> bodies;
    while (raw.size() > 1) {
        const auto end = std::find(raw.begin() + 1, raw.end(), std::uint8_t{0xFF});
        if (end == raw.end())
            break;
        Bytes body = Unescape(Bytes(raw.begin() + 1, end));
        if (!body.empty())
            body.pop_back();
        bodies.push_back(std::move(body));
        raw.erase(raw.begin(), end + 1);
    }
    return bodies;
}

Bytes WrittenBytes() {
    Bytes all;
    for (const Bytes& piece : scripted_usb.pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

std::vector<Bytes> SentBodies() {
    Bytes all = WrittenBytes();
    return TakeRequestBodies(all);
}

Bytes RequestBody(std::uint8_t access, std::uint8_t sequence, std::uint8_t register_address,
                  const Bytes& payload) {
    Bytes body(7 + payload.size(), 0x00);
    body[0] = static_cast<std::uint8_t>(body.size() - 1);
    body[1] = access;
    body[2] = 0x0F;
    body[5] = sequence;
    body[6] = register_address;
    std::copy(payload.begin(), payload.end(), body.begin() + 7);
    return body;
}
