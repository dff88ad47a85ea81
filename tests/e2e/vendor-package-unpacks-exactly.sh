#!/usr/bin/env bash
# The program built with a vendor payload whose driver package is a pax archive with a hard
# link and a UTF-8 name, on a fresh PC: it installs its library, unpacks exactly the package's
# files and starts the package's installer, which binds the driver.
source "$(dirname "$0")/e2e-lib.sh"
program=$ZC_BINARY_DIR/vendor-payload-build/bin/zandacore-programmer.exe
start_case
plug_modules <<'END'
[A17]
driver = missing
END
run_driver
expect_output <<'END'
box info "The NORV USB driver is going to be installed now.\n\nPlease restart this application after the installation."
exit 0
END
wait_for_event driver-installed 60
unpacked=("$WINEPREFIX"/drive_c/windows/temp/zandacore-driver-*)
[ ${#unpacked[@]} -eq 1 ] || { echo "e2e: ${#unpacked[@]} package folders"; exit 1; }
diff -r "$ZC_BINARY_DIR/e2e/vendor-payload/package" "${unpacked[0]}"
