// record_device_seed FILE: runs the identification and a whole update of the small table
// against the in-process simulated module (bootloader 1, whose checksum slot the small
// microcontroller image can hold) and writes what the module answered, call by
// call, as a fuzz_device script (device_script.h): a seed made of the simulated module's
// own replies, chunking and restart timing.
#include "fuzz/small_table.h"
#include "link/identify.h"
#include "link/progress.h"
#include "sim/inprocess/sim_door.h"
#include "update/firmware_update.h"
#include "update/pause.h"
#include "usb/usb_library.h"
#include "usb/usb_scan.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t kValid = 0x20;   // a valid answer, made from the low bits
std::vector<std::uint8_t> script{0x00}; // the small table
UsbLibrary door;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "record_device_seed: %s\n", what);
        std::exit(1);
    }
}

SiStatus Record(SiStatus status, std::uint8_t valid_op) {
    Require(status == 0 || status >= 0xF0, "a status the script cannot carry");
    script.push_back(status == 0 ? valid_op : static_cast<std::uint8_t>(status));
    return status;
}

SiStatus USB_CALL GetNumDevices(std::uint32_t* count) {
    const SiStatus status = door.SI_GetNumDevices(count);
    Require(*count <= 3, "more modules than the script can count");
    return Record(status, static_cast<std::uint8_t>(kValid | *count));
}

SiStatus USB_CALL GetProductString(std::uint32_t index, void* text, std::uint32_t option) {
    const SiStatus status = door.SI_GetProductString(index, text, option);
    return Record(status, static_cast<const char*>(text)[0] == 'p' ? kValid | 1 : kValid);
}

SiStatus USB_CALL Open(std::uint32_t index, SiHandle* handle) {
    return Record(door.SI_Open(index, handle), kValid);
}

SiStatus USB_CALL CheckRXQueue(SiHandle handle, std::uint32_t* bytes, std::uint32_t* status) {
    const SiStatus result = door.SI_CheckRXQueue(handle, bytes, status);
    return Record(result, static_cast<std::uint8_t>(kValid | (*status & 3)));
}

SiStatus USB_CALL Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                       std::uint32_t* returned, void* overlapped) {
    const SiStatus status = door.SI_Read(handle, buffer, to_read, returned, overlapped);
    if (Record(status, kValid) == 0) {
        Require(*returned <= 64, "a chunk over 64 bytes");
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        script.push_back(static_cast<std::uint8_t>(*returned));
        script.insert(script.end(), bytes, bytes + *returned);
    }
    return status;
}

SiStatus USB_CALL Write(SiHandle handle, const void* buffer, std::uint32_t count,
                        std::uint32_t* written, void* overlapped) {
    return Record(door.SI_Write(handle, buffer, count, written, overlapped), kValid);
}

} // namespace

// The seams of the program, on the door's bus and virtual clock.
std::int32_t ScanUsbDevices(UsbDeviceEntry* entries[kMaxUsbDevices], std::int32_t* count) {
    const std::int32_t present = SimDoorPresentCount();
    Require(present <= 7, "more modules than the script can count");
    for (*count = 0; *count < present; ++*count)
        entries[*count] = new UsbDeviceEntry{};
    script.push_back(static_cast<std::uint8_t>(kValid | present));
    return 0;
}

void PauseMs(std::uint32_t ms) {
    SimDoorAdvanceUs(std::uint64_t{ms} * 1000);
}
void BeginFinePauses() {}
void EndFinePauses() {}

std::int32_t SetProgress(std::int32_t) {
    return 0;
}

int main(int argc, char** argv) {
    Require(argc == 2, "usage: record_device_seed FILE");
    std::string error;
    Require(SimDoorStart("[A17]\nbootloader = 1\n", &error) == 0, error.c_str());
    SimDoorFillUsbLibrary();
    door = usb_library;
    usb_library.SI_GetNumDevices = GetNumDevices;
    usb_library.SI_GetProductString = GetProductString;
    usb_library.SI_Open = Open;
    usb_library.SI_CheckRXQueue = CheckRXQueue;
    usb_library.SI_Read = Read;
    usb_library.SI_Write = Write;

    Require(IdentifyDevice() >= 1, "the module was not identified");
    Require(RunFirmwareUpdateWith(SmallImageTable()) == 0, "the update failed");
    Require(SimDoorViolationCount() == 0, "the module saw a violation");
    SimDoorStop();

    std::FILE* out = std::fopen(argv[1], "wb");
    Require(out != nullptr && std::fwrite(script.data(), 1, script.size(), out) == script.size() &&
                std::fclose(out) == 0,
            "cannot write the seed");
    return 0;
}
