#!/usr/bin/env bash
# Identification yields -3 (the only module's serial begins with "p"): the access box,
# exit code -1.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[p17]
END
run_driver
expect_output <<'END'
box error "Device couldn't be accessed.\nPerhaps the device is in use by another application."
exit -1
END
