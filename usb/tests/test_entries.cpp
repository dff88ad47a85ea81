// A test library with the USB library's eight entry points. Each returns its own status
// (101 for the first name, 108 for the last), so a test sees which one a slot reaches.
// The .def files export them under undecorated names, all eight or the first seven.
#include "usb/usb_library.h"

extern "C" {

SiStatus USB_CALL SI_GetNumDevices(std::uint32_t* count) {
    *count = 1;
    return 101;
}
SiStatus USB_CALL SI_GetProductString(std::uint32_t, void*, std::uint32_t) {
    return 102;
}
SiStatus USB_CALL SI_SetTimeouts(std::uint32_t, std::uint32_t) {
    return 103;
}
SiStatus USB_CALL SI_Open(std::uint32_t, SiHandle*) {
    return 104;
}
SiStatus USB_CALL SI_Close(SiHandle) {
    return 105;
}
SiStatus USB_CALL SI_CheckRXQueue(SiHandle, std::uint32_t*, std::uint32_t*) {
    return 106;
}
SiStatus USB_CALL SI_Read(SiHandle, void*, std::uint32_t, std::uint32_t*, void*) {
    return 107;
}
SiStatus USB_CALL SI_Write(SiHandle, const void*, std::uint32_t, std::uint32_t*, void*) {
    return 108;
}
}
