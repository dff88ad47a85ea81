// Pictures of windows as they are on the screen.
#pragma once
#include "tests/uidriver/png_writer.h"

#include <windows.h>

// The pixels of a drawing context inside rect (its own coordinates).
RgbPicture CaptureRect(HDC source, const RECT& rect);

// The screen's pixels inside rect (screen coordinates).
RgbPicture CaptureScreenRect(const RECT& rect);

// The window, frame included, as it is on the screen.
RgbPicture CaptureWindow(HWND window);
