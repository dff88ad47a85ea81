#!/usr/bin/env bash
# A whole update of a module at 786: Esc is ignored, closing and the end of the
# session are refused while the update runs (and accepted before and after), the bar passes 30-90 %, the module restarts and comes back at 787, and
# the dialog ends DONE with a green bar. The simulator saw no violation.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[A17]
firmware = 786
END
run_driver --start
expect_output <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
endsession during=refused
endsession after=accepted
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0
END
expect_pictures idle progress final
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
expect_log_run 1
