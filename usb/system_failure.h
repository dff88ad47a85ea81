// The last system call of the USB prerequisites that failed (writing the library, loading
// it, creating the package directory, starting the installer), kept for the support log:
// the boxes name no cause, the log must.
#pragma once
#include "usb/usb_paths.h"

#include <cstdint>

struct SystemFailure {
    char what[kPathSize + 32]; // "writing C:\Windows\system32\SiUSBXp.dll"; empty: none
    std::uint32_t error;       // the system's error code; 0 for a check that failed
};

extern SystemFailure last_system_failure;

// Records "ACTION PATH" with ERROR as the last failure.
void RecordSystemFailure(const char* action, const char* path, std::uint32_t error);
