// The compiled resources as the program loads them: the dialog template word for
// word, the banner and icon formats, the manifest's requests and the version comments.
#include "resources/resource_ids.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string ResourceText(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(nullptr, name, type);
    if (found == nullptr) {
        return {};
    }
    const auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return std::string(data, SizeofResource(nullptr, found));
}

// Reads the words of a DLGTEMPLATE / DLGITEMTEMPLATE in order.
struct TemplateReader {
    const std::uint16_t* at;

    std::uint16_t Word() { return *at++; }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        return low | static_cast<std::uint32_t>(Word()) << 16;
    }
    // A text, or an ordinal written as "#n".
    std::string Text() {
        if (*at == 0xFFFF) {
            ++at;
            char ordinal[8];
            std::snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(Word()));
            return ordinal;
        }
        std::string text;
        while (*at != 0) {
            text += static_cast<char>(*at++);
        }
        ++at;
        return text;
    }
    void AlignDword() {
        if (reinterpret_cast<std::uintptr_t>(at) % 4 != 0) {
            ++at;
        }
    }
};

// A predefined class may be stored as its ordinal or by name in any letter case.
std::string ClassName(std::string stored) {
    if (stored == "button") {
        return "button";
    }
    if (stored == "static") {
        return "static";
    }
    for (char& c : stored) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return stored;
}

struct Control {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::uint16_t id;
    std::string class_name;
    std::string text;
};

TEST(Resources, DialogTemplateHasTheStyleFontGeometryAndFourControls) {
    const std::string data = ResourceText(MAKEINTRESOURCEA(IDD_MAIN_DIALOG), RT_DIALOG);
    ASSERT_FALSE(data.empty());
    TemplateReader reader{reinterpret_cast<const std::uint16_t*>(data.data())};
    EXPECT_EQ(reader.Dword(), 0x10CA0044u); // style
    EXPECT_EQ(reader.Dword(), 0u);          // extended style
    const std::uint16_t count = reader.Word();
    EXPECT_EQ(count, 4);
    EXPECT_EQ(reader.Word(), 300);
    EXPECT_EQ(reader.Word(), 200);
    EXPECT_EQ(reader.Word(), 320);
    EXPECT_EQ(reader.Word(), 120);
    EXPECT_EQ(reader.Text(), "");             // no menu
    EXPECT_EQ(reader.Text(), "");             // standard dialog class
    EXPECT_EQ(reader.Text(), "");             // empty title
    EXPECT_EQ(reader.Word(), 8);              // points
    EXPECT_EQ(reader.Text(), "MS Shell Dlg"); // face

    std::vector<Control> controls;
    for (int i = 0; i < count; ++i) {
        reader.AlignDword();
        Control control{};
        control.style = reader.Dword();
        EXPECT_EQ(reader.Dword(), 0u);
        control.x = static_cast<std::int16_t>(reader.Word());
        control.y = static_cast<std::int16_t>(reader.Word());
        control.cx = static_cast<std::int16_t>(reader.Word());
        control.cy = static_cast<std::int16_t>(reader.Word());
        control.id = reader.Word();
        control.class_name = ClassName(reader.Text());
        control.text = reader.Text();
        EXPECT_EQ(reader.Word(), 0); // no creation data
        controls.push_back(control);
    }
    ASSERT_EQ(controls.size(), 4u);
    const Control expected[] = {
        {0x50020001, 8, 47, 302, 10, IDC_UPPER_LABEL, "static", ""},
        {0x50020001, 5, 57, 310, 10, IDC_LOWER_LABEL, "static", ""},
        {0x50010000, 60, 96, 50, 14, IDC_START, "button", "Start"},
        {0x50010001, 210, 96, 50, 14, IDC_CLOSE, "button", "Close"},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(controls[i].style, expected[i].style);
        EXPECT_EQ(controls[i].x, expected[i].x);
        EXPECT_EQ(controls[i].y, expected[i].y);
        EXPECT_EQ(controls[i].cx, expected[i].cx);
        EXPECT_EQ(controls[i].cy, expected[i].cy);
        EXPECT_EQ(controls[i].id, expected[i].id);
        EXPECT_EQ(controls[i].class_name, expected[i].class_name);
        EXPECT_EQ(controls[i].text, expected[i].text);
    }
}

TEST(Resources, BannerIs247By50At24Bits) {
    HBITMAP banner = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BANNER));
    ASSERT_NE(banner, nullptr);
    BITMAP info = {};
    ASSERT_EQ(GetObjectA(banner, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 247);
    EXPECT_EQ(info.bmHeight, 50);
    const std::string raw = ResourceText(MAKEINTRESOURCEA(IDB_BANNER), RT_BITMAP);
    ASSERT_GE(raw.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, raw.data(), sizeof header);
    EXPECT_EQ(header.biBitCount, 24);
    DeleteObject(banner);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, IconGroups101And102HoldTheSameOne32By32Image) {
    std::string images[2];
    const int groups[] = {IDI_APP_ICON, IDI_APP_ICON_COPY};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(groups[i]);
        const std::string group = ResourceText(MAKEINTRESOURCEA(groups[i]), RT_GROUP_ICON);
        ASSERT_EQ(group.size(), 6 + sizeof(IconGroupEntry));
        IconGroupEntry entry;
        std::memcpy(&entry, group.data() + 6, sizeof entry);
        EXPECT_EQ(entry.width, 32);
        EXPECT_EQ(entry.height, 32);
        EXPECT_EQ(entry.bit_count, 24);
        images[i] = ResourceText(MAKEINTRESOURCEA(entry.id), RT_ICON);
        ASSERT_FALSE(images[i].empty());
    }
    EXPECT_EQ(images[0], images[1]);
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP_ICON)), nullptr);
}

TEST(Resources, ManifestRequestsAdministratorAndNamesTheProgram) {
    const std::string manifest = ResourceText(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""),
              std::string::npos);
    EXPECT_NE(manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}"), std::string::npos);
    EXPECT_NE(manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"1.0.0.0\" processorArchitecture=\"X86\""),
              std::string::npos);
    EXPECT_NE(manifest.find("type=\"win32\""), std::string::npos);
    EXPECT_NE(manifest.find("<description>zandacore Programmer</description>"), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
}

TEST(Resources, VersionCommentsNameThePayload) {
    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    const DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    ASSERT_NE(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));
    char* comments = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\Comments",
                               reinterpret_cast<void**>(&comments), &length));
#ifdef ZC_STANDIN_PAYLOAD
    EXPECT_EQ(std::string(comments).rfind("Stand-in payload", 0), 0u) << comments;
#else
    EXPECT_EQ(std::string(comments).rfind("Vendor payload", 0), 0u) << comments;
#endif
}

} // namespace
