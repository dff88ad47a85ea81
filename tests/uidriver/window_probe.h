// Reading another process's windows through Win32 calls: which windows it shows,
// their texts, the state of the main dialog's controls, the kind of a message box.
#pragma once
#include "tests/uidriver/png_writer.h"

#include <windows.h>

#include <string>
#include <vector>

// The message label_probe.dll answers in the program and the property it answers with.
inline constexpr const char* kMeasureLabelMessage = "zandacore uidriver: measure label";
inline constexpr const char* kTextFitsProperty = "zandacore uidriver: text fits";

// The visible top-level windows of the process.
std::vector<HWND> VisibleWindowsOf(DWORD process_id);

bool IsMainDialog(HWND window);
bool IsMessageBox(HWND window);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);

enum class BoxKind { Error, Information, Unknown };

// Tells the box's icon apart by its colours on the screen: red for the error icon,
// blue for the information icon. Unknown while the icon is not painted yet.
BoxKind ClassifyBoxIcon(HWND box);

// The text of a message box.
std::string BoxText(HWND box);

// The box around the pixels of picture, from first_row down, that differ clearly from
// its top-left pixel, taken as the background: what is drawn there. All zero when
// nothing is.
RECT InkBox(const RgbPicture& picture, int first_row = 0);

// The program's banner (bitmap IDB_BANNER of its file) as it carries it.
RgbPicture BannerOf(const char* program_path);

// The text with each line feed written as \n.
std::string EscapedText(const std::string& text);
