#!/usr/bin/env bash
# The station with three modules plugged one after another: A17 at 786 is updated without
# a click and, after its power cycle, verified; B22 at 787 is already current; C31 at 786
# stops answering mid-update and fails. The record holds its header and those four lines,
# the title the tally, and the two healthy modules saw no violation. final.png is the
# README's picture of the station.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
printf '%s\n' '[A17]' 'firmware = 786' '[B22]' 'firmware = 787' 'location = Port_#0002.Hub_#0001' \
    '[C31]' 'firmware = 786' 'location = Port_#0003.Hub_#0001' 'fault = reply-missing@3000' \
    >"$ZANDACORE_SIM_DIR/module.ini"
simctl plug A17
temp=("$WINEPREFIX"/drive_c/users/*/Temp)
station_record() { printf '%s' "${temp[0]}/zandacore-station.csv"; }
# wait_for COUNT SECONDS FILE_FUNCTION PATTERN: COUNT lines match PATTERN in time.
wait_for() {
    for _ in $(seq $(($2 * 5))); do
        [ "$(grep -c -- "$4" "$("$3")" 2>/dev/null)" -ge "$1" ] && return 0
        sleep 0.2
    done
    echo "e2e: not $1 lines '$4' in $("$3") within $2 s"
    return 1
}
# swap OUT IN SECONDS: OUT leaves, the station sees it go, IN comes and is recorded.
gone=0
swap() {
    simctl unplug "$1"
    gone=$((gone + 1))
    wait_for "$gone" 120 support_log '^## station: no module present'
    simctl plug "$2"
    wait_for $((gone + 2)) "$3" station_record ''
}

run_driver --close-on "$(winpath "$work")\\close" -- /station &
driver=$!
wait_for 2 600 station_record '' # the header and A17's update
swap A17 A17 120                 # its power cycle
swap A17 B22 120
swap B22 C31 300
touch "$work/close"
wait "$driver"

expect_output '1s/^dialog .*/dialog/; s/ - [0-9]+%  / - N%  /; s/progress=[0-9]+ /progress=N /' <<'END'
dialog
final title=" QTV40z6, v787 - N%  [updated 1, verified 1, failed 1]" upper="Programming failed" lower="Power cycle the module, or swap it for the next one." progress=N bar=c80000 start=disabled close=enabled
exit 0
END
expect_pictures final
tr -d '\r' <"$(station_record)" >"$work/record.csv" # kept for a look after the case
sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8},/TIME,/; s/,[0-9]+\.[0-9]$/,S/; s/at [0-9]+%/at N%/' \
    "$work/record.csv" | diff -u - <(cat <<'END'
time,serial number,USB location,version found,result,seconds
TIME,"A17","Port_#0001.Hub_#0001",786,"updated",S
TIME,"A17","Port_#0001.Hub_#0001",787,"verified",S
TIME,"B22","Port_#0002.Hub_#0001",787,"already current",S
TIME,"C31","Port_#0003.Hub_#0001",786,"failed: update (writing at N%)",S
END
)
simctl status >"$work/status.txt"
grep -qx 'module A17: present no, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0' "$work/status.txt"
grep -qx 'module B22: present no, firmware 787, bootloader 2, fpga ok, mcu ok, boots 0, violations 0' "$work/status.txt"
