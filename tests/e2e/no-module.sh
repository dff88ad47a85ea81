#!/usr/bin/env bash
# No module on the bus: the information box, exit code -1, no identification.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
cat >"$ZANDACORE_SIM_DIR/module.ini" <<'END'
[A17]
END
run_driver
expect_output <<'END'
box info "Could not find any NORV USB devices.\n\nPlease connect a NORV device and try again."
exit -1
END
if grep -qx open "$ZANDACORE_SIM_DIR/events.log" 2>/dev/null; then
    echo "e2e: a module was opened"
    exit 1
fi
expect_log_notes <<'END'
USB library loaded: .+SiUSBXp\.dll
modules found: 0
box info: Could not find any NORV USB devices\.\\n\\nPlease connect a NORV device and try again\.
exit code -1
END
