#include "usb/usb_library.h"

UsbLibrary usb_library = {};
SiHandle DeviceHandle = nullptr;
