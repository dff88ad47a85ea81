// The finishing font is sized in pixels and names a face that no system has, so each
// system puts a font of its own in its place, and its width cannot be known beforehand.
// A label is one line high: a text wider than its label wraps its last words below the
// label, where nobody sees them. So the size is fitted to the text, not the face.
#include "app/closing_font.h"

#include "app/shell_state.h"

namespace {

// The height of the font's characters, without the room above them that the cell adds.
int CharacterHeight(HDC dc, HFONT font) {
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, previous);
    return metrics.tmHeight - metrics.tmInternalLeading;
}

// With a pixel to spare on each side: a letter on the label's edge may lose its outer
// pixels to the label's clipping.
bool FitsOneLine(HDC dc, HFONT font, const char* text, int width) {
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, previous);
    return size.cx + 2 <= width;
}

} // namespace

HFONT FitClosingFont(HWND label, const char* text) {
    HFONT font = shell_state.finish_font;
    LOGFONTA shape = {};
    if (font == nullptr || GetObjectA(font, sizeof shape, &shape) == 0) {
        return font;
    }
    RECT area = {};
    GetClientRect(label, &area);
    HDC dc = GetDC(label);
    const auto dialog_font =
        reinterpret_cast<HFONT>(SendMessageA(GetParent(label), WM_GETFONT, 0, 0));
    const int smallest = CharacterHeight(dc, dialog_font);
    // A negative height asks for the characters' height, which is what "smaller" means.
    for (int height = CharacterHeight(dc, font);
         !FitsOneLine(dc, font, text, area.right) && height > smallest; --height) {
        shape.lfHeight = -(height - 1);
        HFONT smaller = CreateFontIndirectA(&shape);
        if (smaller == nullptr) {
            break;
        }
        if (font != shell_state.finish_font) {
            DeleteObject(font);
        }
        font = smaller;
    }
    ReleaseDC(label, dc);
    return font;
}
