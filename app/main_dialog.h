// The program's only window: banner, two status lines, progress bar, Start and Close.
#pragma once
#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
