// Pictures of windows as they are on the screen.
#pragma once
#include "tests/uidriver/png_writer.h"

#include <windows.h>

// The screen's pixels inside rect (screen coordinates).
RgbPicture CaptureScreenRect(const RECT& rect);

// The window, frame included, as it is on the screen.
RgbPicture CaptureWindow(HWND window);
