#!/usr/bin/env bash
# The library cannot be loaded and cannot be written into the system directory (a
# directory stands in its place): only the installation error box, exit code -1.
source "$(dirname "$0")/e2e-lib.sh"
start_case
mkdir "$system_dir/SiUSBXp.dll"
plug_modules <<'END'
[A17]
END
run_driver
expect_output <<'END'
box error "Could not install USB system library.\n\nYou may have to restart this application with an administrator account\nor change your user-access control settings to allow driver installation.\nPlease contact your system administrator if necessary."
exit -1
END
expect_log_notes <<'END'
USB library not loaded: C:\\windows\\system32\\SiUSBXp\.dll
failed: loading C:\\windows\\system32\\SiUSBXp\.dll: error [0-9]+: .+
USB library could not be installed: C:\\windows\\system32\\SiUSBXp\.dll
failed: opening C:\\windows\\system32\\SiUSBXp\.dll: error [0-9]+: .+
box error: Could not install USB system library\.\\n\\nYou may .+
exit code -1
END
