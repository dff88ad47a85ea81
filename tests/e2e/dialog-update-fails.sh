#!/usr/bin/env bash
# A (scripted) update that fails at 40 %: the bar turns red, "Programming failed" is
# shown, Close is enabled only after it, Start stays disabled, the labels keep their
# texts and the title its last percentage. The session may end and the system sleep
# again as soon as the update has failed, while the box still waits.
source "$(dirname "$0")/e2e-lib.sh"
start_case
program=$bin/dialog_harness.exe
export ZC_HARNESS_FAIL_AT=40
run_driver --start
# Whether the update is seen running before its box depends on timing.
expect_output '/^endsession during=/d' <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
while-box start=disabled close=disabled
endsession while-box=accepted
box error "Programming failed"
endsession after=accepted
layout dpi=96 bar=ok banner=ok texts=fit
final title=" QTV40z6, v787 - 40%" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787" progress=40 bar=c80000 start=disabled close=enabled
exit 0
END
expect_trace_line 'harness: execution state during the update 0x80000001'
expect_trace_line 'harness: execution state after the dialog 0x80000000'
