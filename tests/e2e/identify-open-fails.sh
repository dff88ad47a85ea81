#!/usr/bin/env bash
# Identification yields -4 (the module cannot be opened): the access box, exit code -1.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[A17]
fault = open-fails
END
run_driver
expect_output <<'END'
box error "Device couldn't be accessed.\nPerhaps the device is in use by another application."
exit -1
END
