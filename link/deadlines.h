// Every wait of the program for the module, in whole seconds, with its reason. The
// library's read and write time-outs carry them, so a wait that passes its deadline ends
// in a time-out and fails its step as any failed transfer does. Each lies far above what
// a healthy module needs, so that none of the 20 000 replies of an update is missed on a
// busy PC, and low enough that a module that stopped answering frees the technician
// within seconds. The restart wait keeps its 4 500 polls of 10 ms (update/reset_wait.cpp).
#pragma once
#include <cstdint>

// Identification, register, program and read-back replies: a healthy module answers
// within milliseconds (a USB frame of 1 ms each way, and for a program request at most
// 5 ms of page programming).
inline constexpr std::uint32_t kReplyDeadlineS = 5;

// An erase is answered once its 64 KiB block is erased: 2 to 3 s at most in the
// datasheets of common 16 Mbit SPI NOR flashes (0.15 to 0.7 s typically).
inline constexpr std::uint32_t kEraseReplyDeadlineS = 10;

// A write hands at most 64 bytes to the module's USB controller, which takes them
// within a frame or two; requests go out only after the previous reply, so never while
// the flash is busy.
inline constexpr std::uint32_t kWriteDeadlineS = 5;
