#include "sim/windows/state_dir_win.h"
#include <windows.h>

namespace {

std::string WindowsPath(const std::string& path) {
    std::string mapped = path.starts_with('/') ? "Z:" + path : path;
    for (char& c : mapped)
        if (c == '/')
            c = '\\';
    return mapped;
}

} // namespace

bool SimStateDirFromEnvironment(std::string* dir) {
    char value[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableA("ZANDACORE_SIM_DIR", value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return false;
    *dir = WindowsPath(std::string(value, length));
    return true;
}
