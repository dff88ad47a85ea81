#include "tests/uidriver/window_probe.h"

#include "resources/resource_ids.h"
#include "tests/uidriver/screen_capture.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kBoxTextId = 0xFFFF; // the static control holding a message box's text

struct Search {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && IsWindowVisible(window)) {
        search->found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM context) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    const auto style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    if (lstrcmpiA(name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(context) = child;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::vector<HWND> VisibleWindowsOf(DWORD process_id) {
    Search search{process_id, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsMainDialog(HWND window) {
    return GetDlgItem(window, IDC_UPPER_LABEL) != nullptr &&
           GetDlgItem(window, IDC_START) != nullptr;
}

bool IsMessageBox(HWND window) {
    return !IsMainDialog(window) && GetDlgItem(window, kBoxTextId) != nullptr;
}

std::string WindowText(HWND window) {
    char text[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? WindowText(control) : std::string();
}

BoxKind ClassifyBoxIcon(HWND box) {
    HWND icon = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&icon));
    if (icon == nullptr) {
        return BoxKind::Unknown;
    }
    RECT rect = {};
    GetWindowRect(icon, &rect);
    const RgbPicture picture = CaptureScreenRect(rect);
    int red = 0;
    int blue = 0;
    for (std::size_t i = 0; i + 2 < picture.rgb.size(); i += 3) {
        const int r = picture.rgb[i];
        const int g = picture.rgb[i + 1];
        const int b = picture.rgb[i + 2];
        if (r > 150 && g < 100 && b < 100) {
            ++red;
        } else if (b > 150 && r < 120 && b > g) {
            ++blue;
        }
    }
    constexpr int kEnoughPixels = 40;
    if (red >= kEnoughPixels && red > blue) {
        return BoxKind::Error;
    }
    if (blue >= kEnoughPixels && blue > red) {
        return BoxKind::Information;
    }
    return BoxKind::Unknown;
}

std::string BoxText(HWND box) {
    return ControlText(box, kBoxTextId);
}

RECT InkBox(const RgbPicture& picture, int first_row) {
    RECT box = {picture.width, picture.height, 0, 0};
    const auto differs = [&picture](std::size_t i) {
        int difference = 0;
        for (std::size_t channel = 0; channel < 3; ++channel) {
            difference += std::abs(picture.rgb[i + channel] - picture.rgb[channel]);
        }
        return difference > 60; // well clear of the blend a stretched background may get
    };
    for (int y = first_row; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (differs((static_cast<std::size_t>(y) * picture.width + x) * 3)) {
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                       std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
            }
        }
    }
    return box.right > 0 ? box : RECT{};
}

RgbPicture BannerOf(const char* program_path) {
    RgbPicture picture;
    HMODULE program = LoadLibraryExA(program_path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HBITMAP banner = LoadBitmapA(program, MAKEINTRESOURCEA(IDB_BANNER)); // none without it
    BITMAP size = {};
    if (GetObjectA(banner, sizeof size, &size) != 0) {
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(memory, banner);
        picture = CaptureRect(memory, RECT{0, 0, size.bmWidth, size.bmHeight});
        SelectObject(memory, previous);
        DeleteDC(memory);
        DeleteObject(banner);
    }
    FreeLibrary(program);
    return picture;
}

std::string EscapedText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}
