#!/usr/bin/env bash
# Identification yields -2 (a module of another type): the box names the model, no
# dialog, exit code -1.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[A17]
type = 0x43
END
run_driver
expect_output <<'END'
box error "Wrong device connected!\n\nPlease connect the QTV40z6 and try again."
exit -1
END
expect_log_notes <<'END'
USB library loaded: .+SiUSBXp\.dll
modules found: 1
module 0: "NORV USB Controller" at ".*", .*VID_16C0&PID_0618.*
driver present
identification: not a QTV40z6 of a known type
box error: Wrong device connected!\\n\\nPlease connect the QTV40z6 and try again\.
exit code -1
END
