# Sourced by every end-to-end case. A case runs in build/<tree>/e2e/<case>/ with its own
# copy of a base Wine prefix, its own X display and its own simulator directory, so
# cases run side by side. The prefix copy is removed afterwards; logs stay.
set -euo pipefail
: "${ZC_SOURCE_DIR:?}" "${ZC_BINARY_DIR:?}"
bin=$ZC_BINARY_DIR/bin
program=$bin/zandacore-programmer.exe
case_name=$(basename "$0" .sh)
work=$ZC_BINARY_DIR/e2e/$case_name
base_prefix=$ZC_BINARY_DIR/e2e/base-prefix
xvfb_pid=

export WINEPREFIX=$work/prefix
# What the program sees as its System32.
system_dir=$WINEPREFIX/drive_c/windows/$("$ZC_SOURCE_DIR/scripts/windows-system-folder" "$program")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export ZANDACORE_SIM_DIR=$work/sim

finish_case() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$WINEPREFIX"
}

# The Windows path of a Unix path, through Wine's Z: drive.
winpath() {
    printf 'Z:%s' "$(readlink -f "$1" | tr / '\\')"
}

# System DLL folders are hard-linked: nothing writes into their files, and a file the
# program installs there is a new one. Everything else is copied.
copy_base_prefix() {
    "$ZC_SOURCE_DIR/scripts/wine-prefix" "$base_prefix"
    mkdir -p "$WINEPREFIX"
    local big=(system32 syswow64 winsxs)
    (cd "$base_prefix" && tar "${big[@]/#/--exclude=./drive_c/windows/}" -cf - .) |
        tar -xf - -C "$WINEPREFIX"
    local d
    for d in "${big[@]}"; do
        cp -al "$base_prefix/drive_c/windows/$d" "$WINEPREFIX/drive_c/windows/"
    done
}

# What uidriver sees of module A17 at firmware 786: the dialog opened and closed idle, and
# (with --start) a whole update that ends DONE.
expected_idle_786='dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
final title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787" progress=0 bar=default start=enabled close=enabled
exit 0'
expected_update_786='dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
endsession during=refused
endsession after=accepted
layout dpi=96 bar=ok banner=ok texts=fit
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0'

# A module.ini line that lets a silent module keep the program waiting an hour, far
# beyond every deadline of the program: only the program's own deadlines end its waits.
cap_an_hour='read_timeout_cap_ms = 3600000'

# expect_silence_ended STEP: the run that just ended did so within 30 s of the module's
# last request (the wire log's last change), and says how long after it.
expect_silence_ended() {
    local waited
    waited=$(($(date +%s) - $(stat -c %Y "$ZANDACORE_SIM_DIR/wire.log")))
    echo "e2e: silent at the $1: the run ended $waited s after the module's last request"
    if [ "$waited" -gt 30 ]; then
        echo "e2e: a silent module kept the program more than 30 s"
        return 1
    fi
}

start_display() {
    exec 8>"$work/display"
    Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 8>&-
    local i
    for i in $(seq 200); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || { echo "e2e: Xvfb did not start"; return 1; }
    export DISPLAY=:$(head -n 1 "$work/display")
    # Wine's server and services start here, off the test's pipes. The state directory is
    # the machine's: the installer, which gets only the system's environment, finds it too.
    wineserver -p </dev/null >/dev/null 2>&1
    wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
        /v ZANDACORE_SIM_DIR /d "$ZANDACORE_SIM_DIR" /f </dev/null >/dev/null 2>&1
}

start_case() {
    rm -rf "$work"
    mkdir -p "$work/sim" "$work/shots"
    trap finish_case EXIT
    copy_base_prefix
    start_display
}

# The module list of the simulated bus, then every module plugged in.
plug_modules() {
    cat >"$ZANDACORE_SIM_DIR/module.ini"
    simctl plug
}

# Module A17 at firmware 786, the module most cases update.
plug_a17_at_786() {
    plug_modules <<<$'[A17]\nfirmware = 786'
}

# expect_driver_installed [SERIAL [uidriver options…]]: SERIAL (A17) without its driver:
# the information box, the program ends with 0, and the installer it started binds the
# driver.
expect_driver_installed() {
    plug_modules <<<"[${1:-A17}]"$'\ndriver = missing'
    run_driver "${@:2}"
    expect_output <<'END'
box info "The NORV USB driver is going to be installed now.\n\nPlease restart this application after the installation."
exit 0
END
    wait_for_event driver-installed 60
}

simctl() {
    wine "$bin/simctl.exe" "$@" </dev/null 2>>"$work/simctl.err" | tr -d '\r'
}

# The stand-in library where the program looks for it, as if installed before.
preinstall_library() {
    cp "$bin/SiUSBXp.dll" "$system_dir/SiUSBXp.dll"
}

# run_driver [uidriver options…] [-- program arguments…]: the program through uidriver;
# observations in observed.txt, the program's output in trace.txt.
run_driver() {
    local options=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1") && shift; done
    [ $# -eq 0 ] || shift
    wine "$bin/uidriver.exe" "${options[@]}" --shots "$(winpath "$work/shots")" \
        --trace "$(winpath "$work")\\trace.txt" --timeout 600 -- "$(winpath "$program")" "$@" \
        </dev/null 2>"$work/driver.err" | tr -d '\r' >"$work/observed.txt"
}

# expect_output [SED_SCRIPT]: the observations, after SED_SCRIPT, must be the lines on
# standard input.
expect_output() {
    cat >"$work/expected.txt"
    sed -E "${1:-}" "$work/observed.txt" >"$work/observed-normalised.txt"
    if ! diff -u "$work/expected.txt" "$work/observed-normalised.txt"; then
        echo "--- program output (trace.txt, last lines):"
        tail -n 30 "$work/trace.txt" 2>/dev/null || true
        cat "$work/driver.err"
        return 1
    fi
}

# expect_pictures NAME…: each screenshot was written and reads as a PNG picture.
expect_pictures() {
    local name
    for name in "$@"; do
        if ! identify "$work/shots/$name.png" >/dev/null; then
            echo "e2e: no readable picture $name.png"
            return 1
        fi
    done
}

# expect_absent_pictures NAME…: these screenshots were not taken.
expect_absent_pictures() {
    local name
    for name in "$@"; do
        if [ -e "$work/shots/$name.png" ]; then
            echo "e2e: unexpected picture $name.png"
            return 1
        fi
    done
}

# wait_for_event TEXT SECONDS: the simulator logs TEXT within SECONDS.
wait_for_event() {
    local i
    for i in $(seq $(($2 * 10))); do
        grep -qx -- "$1" "$ZANDACORE_SIM_DIR/events.log" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "e2e: no event '$1' within $2 s"
    return 1
}

# expect_status LINE: simctl status reports exactly LINE.
expect_status() {
    local status
    status=$(simctl status)
    if [ "$status" != "$1" ]; then
        printf 'e2e: status\n  expected: %s\n  observed: %s\n' "$1" "$status"
        return 1
    fi
}

# expect_trace_line TEXT: the program wrote the line TEXT to its standard output.
expect_trace_line() {
    if ! tr -d '\r' <"$work/trace.txt" | grep -qxF -- "$1"; then
        echo "e2e: the program did not write: $1"
        return 1
    fi
}

# The program's support log in the prefix's temporary directory.
support_log() {
    local logs=("$WINEPREFIX"/drive_c/users/*/Temp/zandacore-programmer.log)
    printf '%s' "${logs[0]}"
}

# expect_log_run RUNS: the support log holds RUNS runs, and the last one is its header
# line followed by exactly what the program wrote to its standard output, beside the
# log's own lines ("## …").
expect_log_run() {
    local log header_line runs
    log=$(support_log)
    cp "$log" "$work/support-log.txt" 2>/dev/null || true # kept for a look after the case
    runs=$(grep -c '^=== zandacore Programmer ' "$log" || true)
    if [ "$runs" != "$1" ]; then
        echo "e2e: the support log holds $runs runs, not $1"
        return 1
    fi
    header_line=$(grep -n '^=== zandacore Programmer ' "$log" | tail -n 1)
    if ! grep -qE '^[0-9]+:=== zandacore Programmer 1\.0\.0\.0, started [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}, Windows [0-9]+\.[0-9]+\.[0-9]+ (32|64)-bit, Stand-in payload: .*'$'\r''$' <<<"$header_line"; then
        echo "e2e: the support log's header: ${header_line#*:}"
        return 1
    fi
    if ! tail -n +$((${header_line%%:*} + 1)) "$log" | { grep -v '^## ' || true; } |
        cmp - "$work/trace.txt"; then
        echo "e2e: the support log's last run is not the program's standard output"
        return 1
    fi
}

# expect_log_notes: the log's own lines ("## …") of the support log's last run match, one
# by one and all of them, the extended regular expressions on standard input.
expect_log_notes() {
    local log header_line pattern i=0 notes
    log=$(support_log)
    header_line=$(grep -n '^=== zandacore Programmer ' "$log" | tail -n 1)
    tail -n +$((${header_line%%:*} + 1)) "$log" | tr -d '\r' | sed -n 's/^## //p' \
        >"$work/log-notes.txt"
    mapfile -t notes <"$work/log-notes.txt"
    while IFS= read -r pattern; do
        if [ "$i" -ge "${#notes[@]}" ] || ! grep -qE -- "^$pattern\$" <<<"${notes[$i]}"; then
            echo "e2e: the support log's note $((i + 1)) does not match: $pattern"
            cat "$work/log-notes.txt"
            return 1
        fi
        i=$((i + 1))
    done
    if [ "$i" -ne "${#notes[@]}" ]; then
        echo "e2e: the support log has more notes than expected"
        cat "$work/log-notes.txt"
        return 1
    fi
}
