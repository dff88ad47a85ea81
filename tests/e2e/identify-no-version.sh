#!/usr/bin/env bash
# Identification yields -1 (the module drops off after the identification request):
# the warning, the dialog with only the new version, and Start fails at once with a
# red bar and "Programming failed"; Close is enabled again, Start stays disabled. A module
# that stays on the bus but never answers the identification, while its library would
# wait an hour, ends the same within seconds; answering again, it is updated to 787.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[A17]
fault = disconnect@1
END
run_driver --start
# Whether the update is seen running before its box depends on timing.
expect_output '/^endsession during=/d' <<'END'
box info "Warning!\n\nThe version of connected device can not be detected."
dialog title="QTV40z6" upper="QTV40z6" lower="new version: v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
while-box start=disabled close=disabled
endsession while-box=accepted
box error "Programming failed"
endsession after=accepted
layout dpi=96 bar=ok banner=ok texts=fit
final title="QTV40z6" upper="QTV40z6" lower="new version: v787" progress=0 bar=c80000 start=disabled close=enabled
exit 0
END
cp "$work/expected.txt" "$work/expected-no-version.txt"

plug_modules <<<$'[A17]\nfault = reply-missing@1\n'"$cap_an_hour"
run_driver --start
expect_silence_ended identification
expect_output '/^endsession during=/d' <"$work/expected-no-version.txt"
expect_trace_line "deadline passed: no identification reply within 5 s"
expect_log_run 2
plug_a17_at_786
run_driver --start
expect_output <<<"$expected_update_786"
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
