#!/usr/bin/env bash
# The library is missing: the program installs its carried copy into the system
# directory, binds it and goes on as if it had loaded at once, up to the dialog with
# the long version line; Esc does not close the dialog, Close does.
source "$(dirname "$0")/e2e-lib.sh"
start_case
plug_a17_at_786
run_driver
expect_output <<<"$expected_idle_786"
cmp "$bin/SiUSBXp.dll" "$system_dir/SiUSBXp.dll"
