// The font each closing text is shown in.
#pragma once
#include <windows.h>

// The finishing font where TEXT fits LABEL's width in it on one line; else a new font,
// the largest smaller size of the same font at which it fits, but never smaller than
// the dialog's own font (at that size if nothing fits). Null without a finishing font.
HFONT FitClosingFont(HWND label, const char* text);
