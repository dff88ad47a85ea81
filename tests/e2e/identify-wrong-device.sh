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
