// Binding of the USB library at run time (Windows).
#pragma once

// Loads "SiUSBXp.dll" from the system directory only (the program runs elevated; a copy
// planted beside it or in the current directory must never load) and fills usb_library
// with its eight entry points. Returns the module, or null when the library cannot be
// loaded or lacks an entry point; such a library is released again and usb_library stays
// empty, so an unresolved entry is never called.
void* BindUsbLibrary();

// Releases the bound library, if any, and empties usb_library. DeviceHandle is left alone.
void ReleaseUsbLibrary();
