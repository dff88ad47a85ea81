#!/usr/bin/env bash
# The module lacks its driver: the information box, the carried installer is started
# and the program ends with 0 without waiting; the installer then binds the driver.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
expect_driver_installed
expect_log_notes <<'END'
USB library loaded: .+SiUSBXp\.dll
modules found: 1
module 0: "USB Device" at ".*", .*VID_16C0&PID_0618.*
driver missing: no module described as "NORV USB Controller"
box info: The NORV USB driver is going to be installed now\.\\n\\nPlease restart this application after the installation\.
driver package unpacked: C:\\windows\\Temp\\zandacore-driver-[0-9a-f]{8}\\
driver installer started: C:\\windows\\Temp\\zandacore-driver-[0-9a-f]{8}\\NorvUSBInstaller\.exe
exit code 0
END
