#include "update/update_steps.h"

SiStatus CloseDevice() {
    const SiStatus status = usb_library.SI_Close(DeviceHandle);
    DeviceHandle = nullptr;
    return status;
}
