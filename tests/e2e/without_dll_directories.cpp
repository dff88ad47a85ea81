// Stands in for the lookup of SetDefaultDllDirectories in a test build of the program: as
// on a Windows that lacks it, there is none.
#include "usb/system_library.h"

void* LookUpSetDefaultDllDirectories() {
    return nullptr;
}
