// The stand-in driver installer of the carried driver package (NorvUSBInstaller.exe):
// binds the simulated modules to the driver, as simctl install-driver does.
#include "sim/ctl/bus_commands_win.h"
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return SimCtlInstallDriver();
}
