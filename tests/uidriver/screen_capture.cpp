#include "tests/uidriver/screen_capture.h"

RgbPicture CaptureRect(HDC source, const RECT& rect) {
    RgbPicture picture;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return picture;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC memory = CreateCompatibleDC(source);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, source, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        const auto* bgrx = static_cast<const std::uint8_t*>(bits);
        picture.width = width;
        picture.height = height;
        picture.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        for (std::size_t i = 0; i < picture.rgb.size() / 3; ++i) {
            picture.rgb[i * 3] = bgrx[i * 4 + 2];
            picture.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
            picture.rgb[i * 3 + 2] = bgrx[i * 4];
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return picture;
}

RgbPicture CaptureScreenRect(const RECT& rect) {
    HDC screen = GetDC(nullptr);
    RgbPicture picture = CaptureRect(screen, rect);
    ReleaseDC(nullptr, screen);
    return picture;
}

RgbPicture CaptureWindow(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return CaptureScreenRect(rect);
}
