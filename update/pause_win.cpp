#include "update/pause.h"

#include <windows.h>

void PauseMs(std::uint32_t ms) {
    Sleep(ms);
}
