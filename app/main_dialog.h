// The program's only window: banner, two status lines, progress bar, Start and Close.
#pragma once
#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The dialog's pixel values (bar, banner, font heights) grown with the display's DPI;
// at 96 DPI they stay as given.
int ScreenPixels(int pixels_at_96_dpi);
