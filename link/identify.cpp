#include "link/identify.h"
#include "link/deadlines.h"
#include "link/link.h"
#include "link/trace.h"
#include "payload/device_record.h"
#include "usb/usb_library.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr std::uint32_t kSerialNumberString = 0;
constexpr std::uint8_t kPassedOverSerial = 'p';
constexpr std::int32_t kTypeAt = 8;
constexpr std::int32_t kSubtypeAt = 9;
constexpr std::int32_t kVersionTextAt = 7;
constexpr std::int32_t kVersionTextEnd = 12; // the text is at most five characters
constexpr std::int32_t kVersionForZero = 99;

// One byte past the library's 256 stays zero, so every text read here ends inside.
using TextBuffer = std::uint8_t[kReplyBufferSize + 1];

// Index of the first device whose serial-number string does not begin with "p", or -1.
std::int64_t ChooseDevice(std::uint32_t count, TextBuffer text) {
    identified_serial[0] = '\0';
    for (std::uint32_t index = 0; index < count; ++index) {
        std::memset(text, 0, sizeof(TextBuffer));
        usb_library.SI_GetProductString(index, text, kSerialNumberString);
        Trace("\nDevice %lx: %s\n", static_cast<unsigned long>(index),
              reinterpret_cast<const char*>(text));
        if (text[0] != kPassedOverSerial) {
            // The library's text may be longer than the kept one: cut it, whole bytes.
            const std::size_t length =
                strnlen(reinterpret_cast<const char*>(text), kSerialTextSize - 1);
            std::memcpy(identified_serial, text, length);
            identified_serial[length] = '\0';
            return index;
        }
    }
    return -1;
}

std::int32_t CloseWith(std::int32_t result) {
    usb_library.SI_Close(DeviceHandle);
    DeviceHandle = nullptr;
    return result;
}

} // namespace

char identified_serial[kSerialTextSize] = {};

std::array<std::uint8_t, kIdentifyRequestSize> IdentifyRequest(std::uint8_t sequence) {
    return {0x07, 0x00, 0x1F, 0xFE, 0x00, 0x02, sequence, 0x00};
}

std::int32_t IdentifyDevice() {
    DeviceHandle = nullptr;
    std::uint32_t count = 0;
    const SiStatus count_status = usb_library.SI_GetNumDevices(&count);

    char subtypes[kSubtypeTextSize];
    FormatSubtypes(subtypes);
    Trace("%s %s %02x %s %x\r\n", device_record.model, device_record.description,
          static_cast<unsigned>(device_record.type), subtypes,
          static_cast<unsigned>(device_record.version));
    Trace("Devices: %lx (%d)\n", static_cast<unsigned long>(count), count_status);

    TextBuffer buffer = {};
    const std::int64_t chosen = ChooseDevice(count, buffer);
    if (chosen < 0)
        return IdentifyNoDevice;

    const SiStatus open_status =
        usb_library.SI_Open(static_cast<std::uint32_t>(chosen), &DeviceHandle);
    Trace("open status %x\n", static_cast<unsigned>(open_status));
    if (open_status != 0) {
        DeviceHandle = nullptr;
        return IdentifyOpenFailed;
    }
    LinkSetTimeouts(kReplyDeadlineS);

    std::uint32_t bytes_in_queue = 0;
    std::uint32_t queue_status = 0;
    if (usb_library.SI_CheckRXQueue(DeviceHandle, &bytes_in_queue, &queue_status) != 0)
        return CloseWith(IdentifyNoVersion);
    if ((queue_status & SI_RX_READY) != 0)
        LinkDumpReply(DeviceHandle, {"stale reply", kReplyDeadlineS}); // not taken for the answer

    const std::array<std::uint8_t, kIdentifyRequestSize> request = IdentifyRequest(LinkSequence);
    if (LinkSend(DeviceHandle, kRawBody, AccessRead, kIdentifyRequestSize, request.data()) != 0)
        return CloseWith(IdentifyNoVersion);
    Trace("Waiting for data\n");
    TraceFlush();
    std::int32_t received = LinkAwaitReply(DeviceHandle, kReplyBufferSize, buffer,
                                           {"identification reply", kReplyDeadlineS});
    Trace("Got data/timeout %d\n", received);
    TraceFlush();
    // Type and subtype are never taken from a buffer that holds no valid reply.
    if (received <= kSubtypeAt)
        return CloseWith(IdentifyNoVersion);
    const std::uint8_t type = buffer[kTypeAt];
    const std::uint8_t subtype = buffer[kSubtypeAt];

    // The type and subtype decide first: a wrong device stays wrong whatever follows.
    const bool right_device = type == device_record.type && IsKnownSubtype(subtype);
    if (LinkSend(DeviceHandle, kVersionRegister, AccessRead, 0, nullptr) != 0)
        return CloseWith(right_device ? IdentifyNoVersion : IdentifyWrongDevice);
    received =
        LinkAwaitReply(DeviceHandle, kReplyBufferSize, buffer, {"version reply", kReplyDeadlineS});
    // The text ends at the checksum or after five characters; a failed reply has none,
    // so no byte of an earlier answer is ever read as the version.
    const std::int32_t text_end = std::clamp(received, kVersionTextAt, kVersionTextEnd);
    buffer[text_end] = 0;
    char* const text = reinterpret_cast<char*>(buffer + kVersionTextAt);
    Trace("Type: %02x, Subtype: %02x, Version %s\n", static_cast<unsigned>(type),
          static_cast<unsigned>(subtype), text);

    if (!right_device)
        return CloseWith(IdentifyWrongDevice);
    if (received < 0)
        return CloseWith(IdentifyNoVersion);
    std::int32_t version = static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
    // A negative version would read as one of the failures above.
    if (version < 0)
        return CloseWith(IdentifyNoVersion);
    if (version == 0)
        version = kVersionForZero;
    Trace("Version %d\n", version);
    return version;
}
