#!/usr/bin/env bash
# The switches, as a script uses them on a module at 786: a command line not understood
# ends with its box and 2 before anything is written; /check tells 3 (an update would
# write it); /update updates it without a click and closes by itself, 0; then /check
# tells 0, and /update leaves the current module alone, 0.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_a17_at_786

run_driver -- /check /UPDATE
expect_output <<'END'
box error "Command line not accepted: "/UPDATE" is a second mode: only one is allowed.\n\nUse one of /check, /update and /station, or no argument."
exit 2
END
if [ -e "$(support_log)" ]; then
    echo "e2e: a refused command line wrote the support log"
    exit 1
fi

run_driver -- /check
expect_output <<<'exit 3'
expect_log_notes <<'END'
command line: /check
USB library loaded: .+SiUSBXp\.dll
modules found: 1
module 0: "NORV USB Controller" at ".*", .*VID_16C0&PID_0618.*
driver present
identification: firmware version 786
module "A17" runs v786, the program carries v787
exit code 3
END

run_driver --watch -- /update
expect_output '1s/^dialog .*/dialog/' <<'END'
dialog
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0
END
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"

run_driver -- /check
expect_output <<<'exit 0'
run_driver -- /update
expect_output <<<'exit 0'
expect_log_notes <<'END'
command line: /update
USB library loaded: .+SiUSBXp\.dll
modules found: 1
module 0: "NORV USB Controller" at ".*", .*VID_16C0&PID_0618.*
driver present
identification: firmware version 787
module "A17" runs the carried firmware v787: nothing to write
exit code 0
END
