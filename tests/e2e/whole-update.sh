#!/usr/bin/env bash
# A whole update of a module at 786: Esc is ignored, closing and the end of the
# session are refused while the update runs (and accepted before and after), the bar passes 30-90 %, the module restarts and comes back at 787, and
# the dialog ends DONE with a green bar. The simulator saw no violation.
# The module is as slow as the datasheets allow: every 64 KiB erase answered after 2.5 s.
source "$(dirname "$0")/e2e-lib.sh"
start_case
preinstall_library
plug_modules <<<$'[A17]\nfirmware = 786\nerase_block_ms = 2500'
run_driver --start
expect_output <<<"$expected_update_786"
expect_pictures idle progress final
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
expect_log_run 1
