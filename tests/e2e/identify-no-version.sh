#!/usr/bin/env bash
# Identification yields -1 (the module drops off after the identification request):
# the warning, the dialog with only the new version, and Start fails at once with a
# red bar and "Programming failed"; Close is enabled again, Start stays disabled.
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
