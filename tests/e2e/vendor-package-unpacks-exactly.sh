#!/usr/bin/env bash
# The program built with a vendor payload whose driver package is a pax archive with a hard
# link and a UTF-8 name, on a fresh PC: it installs its library, unpacks exactly the package's
# files and starts the package's installer, which binds the driver.
source "$(dirname "$0")/e2e-lib.sh"
program=$ZC_BINARY_DIR/vendor-payload-build/bin/zandacore-programmer.exe
start_case
expect_driver_installed
unpacked=("$WINEPREFIX"/drive_c/windows/temp/zandacore-driver-*)
[ ${#unpacked[@]} -eq 1 ] || { echo "e2e: ${#unpacked[@]} package folders"; exit 1; }
# Besides the package, only the installer's own empty TEMP.
rmdir "${unpacked[0]}/temp"
diff -r "$ZC_BINARY_DIR/e2e/vendor-payload/package" "${unpacked[0]}"
