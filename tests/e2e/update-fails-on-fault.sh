#!/usr/bin/env bash
# An update that fails on a simulator fault (the module is pulled while the
# microcontroller image is written): red bar, "Programming failed", the labels
# unchanged, the title at its last percentage, Close enabled only after the box, Start
# disabled; the session may end again once the update has failed. Powered up again, the
# module stays in its bootloader (reported as v99), and the next run of the program
# updates it. Then the module stops answering (at the second erase, a program request, a
# read-back) while its library would wait an hour: each update fails the same way within
# seconds of the silence, the log names the step, and the next run updates the module.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<'END'
[A17]
firmware = 786
fault = disconnect@19200
END
run_driver --start
# Whether the update is seen running before its box depends on timing.
expect_output '/^endsession during=/d; s/ - [0-9]+%" / - N%" /; s/progress=[0-9]+ /progress=N /' <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
while-box start=disabled close=disabled
endsession while-box=accepted
box error "Programming failed"
endsession after=accepted
layout dpi=96 bar=ok banner=ok texts=fit
final title=" QTV40z6, v787 - N%" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787" progress=N bar=c80000 start=disabled close=enabled
exit 0
END
simctl status | grep -q 'violations 0'
expect_log_run 1
cp "$work/expected.txt" "$work/expected-failure.txt"

# The way out: power the module up again, start the program again, press Start.
printf '[A17]\nfirmware = 786\n' >"$ZANDACORE_SIM_DIR/module.ini"
simctl plug
expect_status "module A17: present yes, firmware 0, bootloader 2, fpga ok, mcu bad, boots 0, violations 0"
run_driver --start
expect_output <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v99   -->   new version:  v787"
layout dpi=96 bar=ok banner=ok texts=fit
endsession before=accepted
endsession during=refused
endsession after=accepted
layout dpi=96 bar=ok banner=ok texts=fit
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0
END
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
expect_log_run 2

boots=1
for row in "erase 7 erase 10" "programming 3000 program 5" "verification 7001 read-back 5"; do
    read -r step request reply deadline <<<"$row"
    printf '[A17]\nfault = reply-missing@%s\n%s\n' "$request" "$cap_an_hour" >"$ZANDACORE_SIM_DIR/module.ini"
    run_driver --start
    expect_silence_ended "$step"
    # As the first failure, on a module at 787 (and at the erase, before any progress).
    expect_output '/^endsession during=/d; s/v787   -->/v786   -->/g; s/ - [0-9]+%" / - N%" /; s/progress=[0-9]+ /progress=N /; s/^final title="QTV40z6"/final title=" QTV40z6, v787 - N%"/' <"$work/expected-failure.txt"
    expect_trace_line "deadline passed: no $reply reply within $deadline s"
    printf '[A17]\n' >"$ZANDACORE_SIM_DIR/module.ini"
    run_driver --start
    expect_output 's/v787   -->/v786   -->/' <<<"$expected_update_786"
    boots=$((boots + 1))
    expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots $boots, violations 0"
done
