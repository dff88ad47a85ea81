#!/usr/bin/env bash
# A (scripted) update that fails at 40 %: the bar turns red, "Programming failed" is
# shown, Close is enabled only after it, Start stays disabled, the labels keep their
# texts and the title its last percentage.
source "$(dirname "$0")/e2e-lib.sh"
start_case
program=$bin/dialog_harness.exe
export ZC_HARNESS_FAIL_AT=40
run_driver --start
expect_output <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
box error "Programming failed"
final title=" QTV40z6, v787 - 40%" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787" progress=40 bar=c80000 start=disabled close=enabled
exit 0
END
