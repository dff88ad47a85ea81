#!/usr/bin/env bash
# The support log: each run adds its header, its trace and its own lines (what the start
# decided, from the library to the exit code), the log keeps five runs (a sixth drops the
# first), and a log that cannot be written changes nothing the program shows. Run 1 is a
# fresh PC's: the library is installed and loads.
source "$(dirname "$0")/e2e-lib.sh"
start_case
plug_a17_at_786
run_driver
expect_output <<<"$expected_idle_786"
expect_log_run 1
expect_trace_line "Device 0: A17"
expect_log_notes <<'END'
USB library not loaded: C:\\windows\\system32\\SiUSBXp\.dll
failed: loading C:\\windows\\system32\\SiUSBXp\.dll: error 126: .+
USB library installed: C:\\windows\\system32\\SiUSBXp\.dll
USB library loaded: C:\\windows\\system32\\SiUSBXp\.dll
modules found: 1
module 0: "NORV USB Controller" at ".*", .*VID_16C0&PID_0618.*
driver present
identification: firmware version 786
exit code 0
END

simctl unplug
for run in 2 3 4 5 6; do
    run_driver
    expect_output <<'END'
box info "Could not find any NORV USB devices.\n\nPlease connect a NORV device and try again."
exit -1
END
    expected_runs=$((run < 5 ? run : 5))
    expect_log_run "$expected_runs"
    if [ "$run" -lt 6 ] && ! grep -q "Device 0: A17" "$(support_log)"; then
        echo "e2e: run $run dropped the first run's trace"
        exit 1
    fi
done
if grep -q "Device 0: A17" "$(support_log)"; then
    echo "e2e: the sixth run kept the first run's trace"
    exit 1
fi

# A directory in the log's place: the program runs and shows exactly as before.
log=$(support_log)
rm "$log"
mkdir "$log"
simctl plug
run_driver
expect_output <<<"$expected_idle_786"
expect_trace_line "Device 0: A17"
