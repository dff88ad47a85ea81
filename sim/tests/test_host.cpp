#include "sim/tests/test_host.h"
#include "sim/inprocess/sim_door.h"
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

void PutEscaped(Bytes& wire, std::uint8_t byte) {
    if (byte == 0xFE || byte == 0xFF) {
        wire.push_back(0xFE);
        wire.push_back(byte == 0xFE ? 0x00 : 0x01);
    } else {
        wire.push_back(byte);
    }
}

} // namespace

Bytes RequestFrame(const Bytes& body) {
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < body.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + body[i]);
    Bytes wire{0xFF};
    for (std::uint8_t byte : body)
        PutEscaped(wire, byte);
    PutEscaped(wire, sum);
    wire.push_back(0xFF);
    return wire;
}

Bytes RegisterBody(std::uint8_t sequence, std::uint8_t reg, std::uint8_t access,
                   const Bytes& payload) {
    Bytes body;
    body.reserve(7 + payload.size());
    for (std::uint8_t byte :
         {static_cast<std::uint8_t>(payload.size() + 6), access, std::uint8_t{0x0F},
          std::uint8_t{0x00}, std::uint8_t{0x00}, sequence, reg})
        body.push_back(byte);
    for (std::uint8_t byte : payload)
        body.push_back(byte);
    return body;
}

void StartAndOpen(const std::string& module_ini) {
    std::string error;
    ASSERT_EQ(SimDoorStart(module_ini, &error), 0) << error;
    SimDoorFillUsbLibrary();
    ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
    usb_library.SI_SetTimeouts(0xFFFFFF, 0xFFFFFF);
}

SiStatus WriteFrame(const Bytes& frame) {
    for (std::size_t at = 0; at < frame.size(); at += 64) {
        const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(64, frame.size() - at));
        std::uint32_t written = 0;
        const SiStatus status =
            usb_library.SI_Write(DeviceHandle, frame.data() + at, piece, &written, nullptr);
        if (status != 0)
            return status;
    }
    return 0;
}

ReadResult ReadReply() {
    ReadResult result;
    std::uint8_t previous = 0;
    while (true) {
        std::uint8_t chunk[64];
        std::uint32_t got = 0;
        result.status = usb_library.SI_Read(DeviceHandle, chunk, 64, &got, nullptr);
        if (result.status != 0)
            return result;
        for (std::uint32_t i = 0; i < got; ++i) {
            const std::uint8_t byte = chunk[i];
            result.raw.push_back(byte);
            if (previous == 0xFE && (byte == 0x00 || byte == 0x01))
                result.decoded.back() = static_cast<std::uint8_t>(0xFE + byte);
            else
                result.decoded.push_back(byte);
            previous = byte;
            if (byte == 0xFF && result.decoded.size() > 1)
                return result;
        }
        if (got < 64)
            return result;
    }
}

bool ReplyChecksumOk(const Bytes& decoded) {
    if (decoded.size() < 4 || decoded.back() != 0xFF)
        return false;
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i + 2 < decoded.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + decoded[i]);
    return sum == decoded[decoded.size() - 2];
}

void TestHost::Send(std::uint8_t reg, std::uint8_t access, const Bytes& payload) {
    EXPECT_EQ(WriteFrame(RequestFrame(RegisterBody(sequence, reg, access, payload))), 0);
    sequence = sequence >= 0xFD ? 0x00 : static_cast<std::uint8_t>(sequence + 1);
}

ReadResult TestHost::Exchange(std::uint8_t reg, std::uint8_t access, const Bytes& payload) {
    Send(reg, access, payload);
    return ReadReply();
}

int WriteImageAsHost(TestHost* host, std::uint32_t address, const Bytes& image) {
    const auto a = [](std::uint32_t at) {
        return Bytes{static_cast<std::uint8_t>(at >> 16), static_cast<std::uint8_t>(at >> 8),
                     static_cast<std::uint8_t>(at)};
    };
    host->Exchange(0x42, kWrite, {0x03});
    for (std::uint32_t offset = 0; offset < image.size(); offset += 0x10000) {
        Bytes erase{0x04, 0xD8};
        for (std::uint8_t b : a(address + offset))
            erase.push_back(b);
        host->Exchange(0x30, kWrite, erase);
    }
    for (std::uint32_t offset = 0; offset < image.size(); offset += 128) {
        Bytes program{0x84, 0x02};
        for (std::uint8_t b : a(address + offset))
            program.push_back(b);
        for (std::uint32_t i = 0; i < 128; ++i)
            program.push_back(offset + i < image.size() ? image[offset + i] : 0xFF);
        host->Exchange(0x30, kWrite, program);
    }
    int bad_chunks = 0;
    for (std::uint32_t offset = 0; offset < image.size(); offset += 128) {
        Bytes latch{0x04, 0x03};
        for (std::uint8_t b : a(address + offset))
            latch.push_back(b);
        host->Exchange(0x30, kWrite, latch);
        const ReadResult data = host->Exchange(0x30, kRead);
        const std::size_t n = std::min<std::size_t>(128, image.size() - offset);
        bool same = data.decoded.size() >= 12 + n;
        for (std::size_t i = 0; same && i < n; ++i)
            same = data.decoded[12 + i] == image[offset + i];
        bad_chunks += same ? 0 : 1;
    }
    return bad_chunks;
}

std::string StandinMcuImagePath() {
    const char* binary_dir = std::getenv("ZC_BINARY_DIR");
    return std::string(binary_dir ? binary_dir : ".") + "/payload-standin/mcu_image.bin";
}
