#!/usr/bin/env bash
# An update that fails on a simulator fault (the module is pulled in the middle of the
# first image's write pass): red bar, "Programming failed", the labels unchanged, the
# title at its last percentage, Close enabled only after the box, Start disabled; the
# session may end again once the update has failed.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[A17]
firmware = 786
fault = disconnect@3000
END
run_driver --start
# Whether the update is seen running before its box depends on timing.
expect_output '/^endsession during=/d; s/ - [0-9]+%" / - N%" /; s/progress=[0-9]+ /progress=N /' <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok
endsession before=accepted
while-box start=disabled close=disabled
endsession while-box=accepted
box error "Programming failed"
endsession after=accepted
final title=" QTV40z6, v787 - N%" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787" progress=N bar=c80000 start=disabled close=enabled
exit 0
END
simctl status | grep -q 'violations 0'
