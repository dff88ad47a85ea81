#!/usr/bin/env bash
# No version identified: the short version line; Esc does not close the idle dialog,
# the Close button does, with exit code 0; the bar is untouched and the session may
# end. At 96, 120 and 144 DPI the bar lies below the labels and inside the dialog, the
# banner on its centre line and the texts whole in their labels; the picture of each
# is kept as shots/dialog-<N>dpi.png.
source "$(dirname "$0")/e2e-lib.sh"
start_case
program=$bin/dialog_harness.exe
export ZC_HARNESS_VERSION=-1
for dpi in 96 120 144; do
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1
    run_driver
    expect_output <<END
dialog title="QTV40z6" upper="QTV40z6" lower="new version: v787"
layout dpi=$dpi bar=ok banner=ok texts=fit
endsession before=accepted
final title="QTV40z6" upper="QTV40z6" lower="new version: v787" progress=0 bar=default start=enabled close=enabled
exit 0
END
    expect_pictures idle final
    expect_absent_pictures progress
    mv "$work/shots/idle.png" "$work/shots/dialog-${dpi}dpi.png"
    rm "$work/shots/final.png"
done
