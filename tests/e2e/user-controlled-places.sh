#!/usr/bin/env bash
# What an unelevated program of the user can change does not steer the program, row by
# row in one prefix:
#   planted      DLLs named as the system's, and as those Windows loads by name later,
#                beside a copy of the program, with Wine told to prefer them as Windows
#                would: none is loaded, and a whole update runs
#   planted_fallback  the same with a test build that finds no SetDefaultDllDirectories,
#                as on Vista and 7 without KB2533623
#   windir       the user's windir names another folder: the library still lands in the
#                system directory, nothing is written in that folder, the dialog opens
#   log_link     the support log's name is a link to a system file: that file is unchanged,
#                and the run is otherwise the same
#   log_junction the user's TEMP is a link (a junction on Windows) to a system folder: no
#                log lands there, and the run is otherwise the same
#   log_unc      the user's TEMP names a share or a device (\\pc\share, \\?\UNC\pc\share,
#                \\.\C:): no log lands behind it, and the run is otherwise the same
#   installer    the user's TEMP, TMP and PATH reach the driver installer not at all: it
#                gets TEMP and TMP in the package's own folder and the system's PATH
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

# plant_and_update PROGRAM SERIAL: PROGRAM updates module SERIAL from 786 to 787 from a
# download folder that holds DLLs of the names it imports or Windows loads by name later;
# none of them is ever loaded. A17 stays at 786 for the other rows.
plant_and_update() {
    local download=$work/download name names="winmm comctl32 setupapi uxtheme dwmapi cryptbase"
    rm -rf "$download"
    mkdir -p "$download"
    simctl unplug
    plug_modules <<<"[$2]"$'\nfirmware = 786'
    cp "$1" "$download/zandacore-programmer.exe"
    # Not version.dll: Wine's own user32 imports it, so under this override Wine loads a
    # planted copy into every program beside it, whatever the program does (Windows' user32
    # imports no version.dll); the program's own import table is checked on the build
    # machine (program_imports_known_dlls_only).
    for name in $names; do
        cp "$bin/planted_dll.dll" "$download/$name.dll"
    done
    program=$download/zandacore-programmer.exe \
        WINEDLLOVERRIDES="${names// /,}=n,b;mscoree,mshtml=" run_driver --start
    expect_output <<<"$expected_update_786"
    if ls "$download"/*.loaded >/dev/null 2>&1; then
        echo "e2e: planted DLLs were loaded:" "$download"/*.loaded
        return 1
    fi
    expect_status "module $2: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
    simctl unplug
    plug_a17_at_786
}

row_planted() {
    plant_and_update "$program" P1
}

row_planted_fallback() {
    plant_and_update "$bin/zandacore-programmer-without-dll-directories.exe" P2
}

# expect_no_log_behind TEMP_VALUE UNIX_DIRECTORY: with the user's TEMP and TMP set to
# TEMP_VALUE, which leads to UNIX_DIRECTORY, the run is the same and writes no log there.
expect_no_log_behind() {
    run_driver --env "TEMP=$1" --env "TMP=$1"
    expect_output <<<"$expected_idle_786"
    if [ -e "$2/zandacore-programmer.log" ]; then
        echo "e2e: a log was written behind TEMP=$1"
        return 1
    fi
}

row_log_junction() {
    ln -sfn "$WINEPREFIX/drive_c/windows" "$WINEPREFIX/drive_c/zc-junction"
    expect_no_log_behind 'C:\zc-junction' "$WINEPREFIX/drive_c/windows"
}

row_log_unc() {
    local share=$WINEPREFIX/drive_c/zc-share temp
    mkdir -p "$share" "$WINEPREFIX/dosdevices/unc/pc"
    ln -sfn "$share" "$WINEPREFIX/dosdevices/unc/pc/share"
    for temp in '\\pc\share' '\\?\UNC\pc\share' '\\.\C:\zc-share'; do
        expect_no_log_behind "$temp" "$share"
    done
}

row_installer() {
    local report=$ZANDACORE_SIM_DIR/installer-started.txt user='C:\zc-user' directory
    mkdir -p "$WINEPREFIX/drive_c/zc-user"
    simctl unplug
    expect_driver_installed N1 --env "TEMP=$user" --env "TMP=$user" \
        --env "PATH=$user;C:\\windows\\system32;C:\\windows"
    directory=$(sed -n 's/^directory=//p' "$report")
    [[ ${directory,,} =~ ^'c:\windows\temp\zandacore-driver-'[0-9a-f]{8}$ ]] ||
        { echo "e2e: the installer started in $directory"; return 1; }
    diff <(printf 'directory=%s\nTEMP=%s\\temp\nTMP=%s\\temp\n' "$directory" "$directory" \
        "$directory" | tr '[:upper:]' '[:lower:]') <(head -n 3 "$report" | tr '[:upper:]' '[:lower:]')
    grep -qiE '^PATH=(.*;)?c:\\windows\\system32(;|$)' "$report" ||
        { echo "e2e: the installer's PATH is not the system's"; cat "$report"; return 1; }
    ! grep -qi 'zc-user' "$report" || { echo "e2e: the installer got the user's:"; cat "$report"; return 1; }
    simctl unplug
    plug_a17_at_786
}

for row in ${ZC_E2E_ROWS:-windir log_link log_junction log_unc planted planted_fallback installer}; do
    echo "e2e: row $row"
    "row_$row"
done
