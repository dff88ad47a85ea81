// A module reduced to its SPI flash behind FlashPort, for whole-pass tests on the
// scripted library: erase, program and read execute on 2 MiB of flash; every other
// request is acknowledged.
#pragma once
#include "link/tests/scripted_usb.h"

#include <cstdint>

struct EchoFlash {
    Bytes flash;                         // 2 MiB, erased
    std::int64_t stuck_address = -1;     // bit 0 of this byte never programs to 0
    std::uint8_t bootloader_byte = 0x82; // register 0x41 answer
    int erases = 0;
    int programs = 0;
    int read_commands = 0;
    int read_backs = 0;
    std::vector<std::uint32_t> erased; // block addresses in order
};

extern EchoFlash echo_flash;

// Starts a fresh scripted library whose responder is the echo flash.
void UseEchoFlash();
