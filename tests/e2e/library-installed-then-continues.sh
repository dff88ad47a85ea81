#!/usr/bin/env bash
# The library is missing: the program installs its carried copy into the system
# directory, binds it and goes on as if it had loaded at once, up to the dialog with
# the long version line; Esc does not close the dialog, Close does.
source "$(dirname "$0")/e2e-lib.sh"
start_case
plug_modules <<'END'
[A17]
firmware = 786
END
run_driver
expect_output <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
final title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787" progress=0 bar=default start=enabled close=enabled
exit 0
END
cmp "$bin/SiUSBXp.dll" "$WINEPREFIX/drive_c/windows/syswow64/SiUSBXp.dll"
