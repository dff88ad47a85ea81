#include "link/tests/echo_flash.h"

EchoFlash echo_flash;

namespace {
constexpr std::uint32_t kFlashSize = 2u << 20;
std::uint32_t latched = 0;

std::uint32_t Address(const Bytes& payload) {
    return (std::uint32_t{payload[2]} << 16 | std::uint32_t{payload[3]} << 8 | payload[4]) &
           (kFlashSize - 1);
}

void Respond(const Bytes& body) {
    const bool write = body[1] == 0x80;
    const std::uint8_t reg = body[6];
    const Bytes payload(body.begin() + 7, body.end());
    if (reg == 0x41) {
        QueueReply(ReplyBody({echo_flash.bootloader_byte}));
    } else if (reg == 0x30 && !write) {
        ++echo_flash.read_backs;
        Bytes data{0x84, 0xFF, 0xFF, 0xFF, 0xFF};
        for (std::uint32_t i = 0; i < 128; ++i)
            data.push_back(echo_flash.flash[(latched + i) & (kFlashSize - 1)]);
        QueueReply(ReplyBody(data));
    } else if (reg == 0x30 && payload[1] == 0xD8) {
        ++echo_flash.erases;
        const std::uint32_t block = Address(payload) & ~0xFFFFu;
        echo_flash.erased.push_back(block);
        std::fill_n(echo_flash.flash.begin() + block, 0x10000, std::uint8_t{0xFF});
        QueueReply(ReplyBody({payload[0]}));
    } else if (reg == 0x30 && payload[1] == 0x02) {
        ++echo_flash.programs;
        const std::uint32_t address = Address(payload);
        for (std::size_t i = 5; i < payload.size(); ++i) {
            const std::uint32_t at = static_cast<std::uint32_t>(address + i - 5) & (kFlashSize - 1);
            std::uint8_t value = payload[i];
            if (at == echo_flash.stuck_address)
                value |= 0x01;
            echo_flash.flash[at] &= value;
        }
        QueueReply(ReplyBody({payload[0]}));
    } else if (reg == 0x30 && payload[1] == 0x03) {
        ++echo_flash.read_commands;
        latched = Address(payload);
        QueueReply(ReplyBody({payload[0]}));
    } else {
        QueueReply(ReplyBody({0x00}));
    }
}
} // namespace

void UseEchoFlash() {
    UseScriptedUsb();
    echo_flash = EchoFlash{};
    echo_flash.flash.assign(kFlashSize, 0xFF);
    latched = 0;
    scripted_usb.responder = Respond;
}
