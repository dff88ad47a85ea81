#!/usr/bin/env bash
# The dialog through a whole (scripted) update: Esc on the idle dialog is ignored; the
# first Start cannot create its thread and leaves Start enabled, the second runs the
# update; every way of closing and the end of the session are refused while it runs,
# and the system is kept awake; the progress passes 30-90 %, and the finished state
# shows the closing texts, a green bar, Start disabled and Close enabled, and lets the
# session end and the system sleep. At 96, 120 and 144 DPI both windows keep their texts
# whole, the bar clear of the labels and the buttons; the finished window's picture is
# kept as shots/finished-<N>dpi.png.
source "$(dirname "$0")/e2e-lib.sh"
start_case
program=$bin/dialog_harness.exe
export ZC_HARNESS_FIRST_START_FAILS=1
for dpi in 96 120 144; do
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1
    run_driver --start
    expect_output <<END
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=$dpi bar=ok banner=ok texts=fit
endsession before=accepted
start failed start=enabled close=enabled
endsession during=refused
endsession after=accepted
layout dpi=$dpi bar=ok banner=ok texts=fit
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0
END
    expect_pictures idle progress final
    expect_trace_line 'harness: update done'
    expect_trace_line 'harness: execution state during the update 0x80000001'
    expect_trace_line 'harness: execution state after the dialog 0x80000000'
    mv "$work/shots/final.png" "$work/shots/finished-${dpi}dpi.png"
done
