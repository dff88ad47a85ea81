#!/usr/bin/env bash
# No version identified: the short version line; Esc does not close the idle dialog,
# the Close button does, with exit code 0; the bar is untouched.
source "$(dirname "$0")/e2e-lib.sh"
start_case
program=$bin/dialog_harness.exe
export ZC_HARNESS_VERSION=-1
run_driver
expect_output <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="new version: v787"
final title="QTV40z6" upper="QTV40z6" lower="new version: v787" progress=0 bar=default start=enabled close=enabled
exit 0
END
expect_pictures idle final
expect_absent_pictures progress
