#!/usr/bin/env bash
# What an unelevated program of the user can change does not steer the program, row by
# row in one prefix:
#   planted  DLLs named as the system's beside a copy of the program, with Wine told to
#            prefer them as Windows would: none is loaded, and a whole update runs
#   windir   the user's windir names another folder: the library still lands in the
#            system directory, nothing is written in that folder, the dialog opens
#   log-link the support log's name is a link to a system file: that file is unchanged,
#            and the run is otherwise the same
# ZC_E2E_ROWS names the rows to run (all by default).
source "$(dirname "$0")/e2e-lib.sh"
start_case
plug_a17_at_786

row_windir() {
    rm -f "$system_dir/SiUSBXp.dll"
    run_driver --env 'windir=C:\x' --env 'WINDIR=C:\x'
    expect_output <<<"$expected_idle_786"
    cmp "$bin/SiUSBXp.dll" "$system_dir/SiUSBXp.dll"
    if [ -e "$WINEPREFIX/drive_c/x" ]; then
        echo "e2e: the program wrote below the user's windir"
        return 1
    fi
}

row_log_link() {
    local log system_file
    log=$(support_log)
    system_file=$WINEPREFIX/drive_c/windows/win.ini
    cp "$system_file" "$work/win.ini.before"
    rm -rf "$log"
    ln -s "$system_file" "$log"
    run_driver
    expect_output <<<"$expected_idle_786"
    cmp "$work/win.ini.before" "$system_file"
    [ -L "$log" ] || { echo "e2e: the link in the log's place was replaced"; return 1; }
    rm "$log"
}

row_planted() {
    local download=$work/download name
    mkdir -p "$download"
    cp "$program" "$download/"
    # Not version.dll: Wine's own user32 imports it, so under this override Wine loads a
    # planted copy into every program beside it, whatever the program does (Windows' user32
    # imports no version.dll); the program's own import table is checked on the build
    # machine (program_imports_known_dlls_only).
    for name in winmm comctl32 setupapi; do
        cp "$bin/planted_dll.dll" "$download/$name.dll"
    done
    program=$download/zandacore-programmer.exe \
        WINEDLLOVERRIDES="winmm,comctl32,setupapi=n,b;mscoree,mshtml=" run_driver --start
    expect_output <<<"$expected_update_786"
    if ls "$download"/*.loaded >/dev/null 2>&1; then
        echo "e2e: planted DLLs were loaded:" "$download"/*.loaded
        return 1
    fi
    expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
}

for row in ${ZC_E2E_ROWS:-windir log_link planted}; do
    echo "e2e: row $row"
    "row_$row"
done
