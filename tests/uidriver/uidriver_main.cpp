// uidriver [--start | --watch | --close-on FILE] [--shots DIR] [--trace FILE]
//          [--timeout SECONDS] [--env NAME=VALUE]… -- PROGRAM [ARGUMENT]…
//
// Runs PROGRAM (its standard output and error into FILE, NAME set to VALUE in its
// environment, as a user's HKCU\Environment would) and drives its windows the
// way a user would, printing one line per observation:
//   box info "<text>" | box error "<text>"   each message box, in order; OK is pressed
//   dialog title="…" upper="…" lower="…"    when the main dialog is up
//   layout dpi=N bar=ok|<faults> banner=ok|missing|cut|off-centre texts=fit|cut:<labels>
//                                            the bar below the labels, clear of the
//                                            buttons and inside the dialog (else what is
//                                            wrong), the banner whole above the labels
//                                            on the centre line, each label's text whole
//                                            inside it; of the idle dialog, and with
//                                            --start of the dialog after the update
//   endsession <moment>=accepted|refused     the dialog's answer to WM_QUERYENDSESSION:
//                                            before Start, during the update, while a
//                                            box is up, after the update
//   start failed start=… close=…            Start was enabled again at once: no update
//                                            ran; Start is clicked once more
//   while-box start=… close=…               the dialog's buttons when a box appears
//                                            after the dialog, printed before the box
//   final title="…" upper="…" lower="…" progress=N bar=rrggbb start=… close=…
//   exit N                                   the program's exit code, signed
// With --start it clicks Start and waits until the update is over (Close disabled,
// then enabled again) before the final line; then it clicks Close. Along the way it
// presses Esc on the idle dialog and tries to close the dialog while the update runs;
// a dialog that gives in shows up as a missing final line. With --shots DIR it saves
// idle.png, progress.png (between 30 and 90 %) and final.png of the dialog.
// --watch touches nothing: the final line (and final.png) once Close, seen disabled, is
// enabled again. --close-on FILE touches nothing until FILE exists, then gives the final
// line and final.png and clicks Close.
#include "resources/resource_ids.h"
#include "tests/uidriver/png_writer.h"
#include "tests/uidriver/screen_capture.h"
#include "tests/uidriver/window_probe.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kSendTimeoutMs = 5000;
constexpr DWORD kBoxIconWaitMs = 30000; // a loaded machine may paint a box late

struct Options {
    bool start = false;
    bool watch = false;
    std::string close_on;
    std::string shots_dir;
    std::string trace_file;
    DWORD timeout_ms = 300000;
    std::string program;
    std::string command_line;
    std::vector<std::string> environment; // NAME=VALUE each
};

struct DialogState {
    HWND window = nullptr;
    bool seen = false;
    bool close_seen_disabled = false;
    bool progress_shot = false;
    bool box_after_dialog = false; // a box that ends an update (its failure box)
    bool final_said = false;
    bool closed = false;
};

void Say(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Say(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string option = argv[i];
        if (option == "--start") {
            options.start = true;
        } else if (option == "--watch") {
            options.watch = true;
        } else if (option == "--close-on" && i + 1 < argc) {
            options.close_on = argv[++i];
        } else if (option == "--shots" && i + 1 < argc) {
            options.shots_dir = argv[++i];
        } else if (option == "--trace" && i + 1 < argc) {
            options.trace_file = argv[++i];
        } else if (option == "--env" && i + 1 < argc && std::strchr(argv[i + 1], '=') != nullptr) {
            options.environment.push_back(argv[++i]);
        } else if (option == "--timeout" && i + 1 < argc) {
            options.timeout_ms = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10)) * 1000;
        } else {
            return false;
        }
    }
    if (i + 1 >= argc) {
        return false;
    }
    options.program = argv[i + 1];
    for (++i; i < argc; ++i) {
        if (!options.command_line.empty()) {
            options.command_line += ' ';
        }
        options.command_line += '"' + std::string(argv[i]) + '"';
    }
    return true;
}

bool StartProgram(const Options& options, PROCESS_INFORMATION& process) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const char* trace = options.trace_file.empty() ? "NUL" : options.trace_file.c_str();
    HANDLE output = CreateFileA(trace, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "uidriver: cannot create %s\n", trace);
        return false;
    }
    for (const std::string& assignment : options.environment) {
        const std::size_t equals = assignment.find('=');
        SetEnvironmentVariableA(assignment.substr(0, equals).c_str(),
                                assignment.substr(equals + 1).c_str());
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::string command_line = options.command_line;
    const BOOL started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(output);
    if (!started) {
        std::fprintf(stderr, "uidriver: cannot start %s (error %lu)\n",
                     options.command_line.c_str(), GetLastError());
    }
    return started != FALSE;
}

LRESULT SendWaiting(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

void Click(HWND dialog, int id) {
    SendWaiting(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Lets the window paint everything before a picture is taken.
void SettleWindow(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    SendWaiting(window, WM_NULL, 0, 0);
}

void SaveShot(const Options& options, HWND dialog, const char* name) {
    if (options.shots_dir.empty()) {
        return;
    }
    SettleWindow(dialog);
    const std::string path = options.shots_dir + "\\" + name;
    if (!WritePng(path.c_str(), CaptureWindow(dialog))) {
        std::fprintf(stderr, "uidriver: cannot write %s\n", path.c_str());
    }
}

void HandleBox(HWND box) {
    BoxKind kind = BoxKind::Unknown;
    for (DWORD waited = 0; kind == BoxKind::Unknown && waited < kBoxIconWaitMs;
         waited += kPollMs * 5) {
        SettleWindow(box);
        kind = ClassifyBoxIcon(box);
    }
    const char* word = kind == BoxKind::Error         ? "error"
                       : kind == BoxKind::Information ? "info"
                                                      : "unknown";
    Say("box %s \"%s\"\n", word, EscapedText(BoxText(box)).c_str());
    HWND ok = GetDlgItem(box, IDOK);
    if (ok != nullptr) {
        SendWaiting(ok, BM_CLICK, 0, 0);
    } else {
        SendWaiting(box, WM_COMMAND, IDOK, 0);
    }
    for (int i = 0; i < 250 && IsWindow(box); ++i) {
        Sleep(kPollMs);
    }
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

const char* EnabledWord(HWND dialog, int id) {
    return Enabled(dialog, id) ? "enabled" : "disabled";
}

// Asked as the system asks at shutdown or log-off.
void SayEndSession(HWND dialog, const char* moment) {
    DWORD_PTR answer = 0;
    const bool answered = SendMessageTimeoutA(dialog, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG,
                                              kSendTimeoutMs, &answer) != 0;
    Say("endsession %s=%s\n", moment,
        !answered     ? "unanswered"
        : answer != 0 ? "accepted"
                      : "refused");
}

HWND ProgressBar(HWND dialog) {
    return FindWindowExA(dialog, nullptr, PROGRESS_CLASSA, nullptr);
}

std::string LabelsText(HWND dialog) {
    return "title=\"" + EscapedText(WindowText(dialog)) + "\" upper=\"" +
           EscapedText(ControlText(dialog, IDC_UPPER_LABEL)) + "\" lower=\"" +
           EscapedText(ControlText(dialog, IDC_LOWER_LABEL)) + "\"";
}

RECT ScreenRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The label's text against the label, in the label's own font: measured inside the
// program by label_probe.dll, which a hook on the dialog's thread loads there. A label
// not measured counts as cut.
bool TextOverflows(HWND label) {
    static HHOOK hook = nullptr;
    static WPARAM question = 0;
    if (hook == nullptr) {
        HMODULE probe = LoadLibraryA("label_probe.dll");
        const auto measure = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(probe, "MeasureLabelHook")));
        hook = SetWindowsHookExA(WH_CALLWNDPROC, measure, probe,
                                 GetWindowThreadProcessId(label, nullptr));
    }
    SendWaiting(label, RegisterWindowMessageA(kMeasureLabelMessage), ++question, 0);
    return reinterpret_cast<WPARAM>(GetPropA(label, kTextFitsProperty)) != question;
}

// A text is cut where it needs more room than its label has (a word wrapped below the
// label leaves no ink in it), or where the label's edge holds ink: on the left, top or
// right edge any, on the bottom edge a line of it (over half the text's width). The
// tail of a Q below the baseline may reach the bottom, as the template has it at 96 DPI.
bool TextCut(HWND dialog, int id) {
    const RgbPicture label = CaptureScreenRect(ScreenRect(GetDlgItem(dialog, id)));
    const RECT ink = InkBox(label);
    const RECT bottom_row = InkBox(label, label.height - 1);
    return TextOverflows(GetDlgItem(dialog, id)) || IsRectEmpty(&ink) || ink.left == 0 ||
           ink.top == 0 || ink.right == label.width ||
           2 * (bottom_row.right - bottom_row.left) > ink.right - ink.left;
}

// The banner's own background is the dialog's, so where it lies follows from its ink:
// the ink seen above the labels against the ink of the bitmap the program carries.
// It must lie whole in that space (else "cut") and on the dialog's centre line.
const char* BannerFault(const Options& options, HWND dialog, const RECT& client) {
    const RgbPicture art = BannerOf(options.program.c_str());
    const RECT art_ink = InkBox(art);
    const RECT area = {client.left, client.top, client.right,
                       ScreenRect(GetDlgItem(dialog, IDC_UPPER_LABEL)).top};
    RECT ink = InkBox(CaptureScreenRect(area));
    if (IsRectEmpty(&art_ink) || IsRectEmpty(&ink)) {
        return "missing";
    }
    OffsetRect(&ink, area.left, area.top);
    if (ink.left == area.left || ink.top == area.top || ink.right == area.right ||
        ink.bottom == area.bottom) {
        return "cut";
    }
    const double scale = double(ink.right - ink.left) / double(art_ink.right - art_ink.left);
    const double left = ink.left - scale * art_ink.left;
    const double right = ink.right + scale * (art.width - art_ink.right);
    return std::abs(left + right - client.left - client.right) / 2 > 2 ? "off-centre" : "ok";
}

// The bar and the banner are placed in pixels, the rest in dialog units, and the fonts
// sized in pixels: at any DPI the bar must lie below the lower label, above the buttons
// with a gap, and inside the dialog's client area, the banner on the dialog's centre
// line above the labels, and each label's text whole inside it.
void SayLayout(const Options& options, HWND dialog) {
    const RECT bar = ScreenRect(ProgressBar(dialog));
    RECT client = {};
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::string bar_faults;
    const auto fault = [](std::string& faults, const char* what) {
        faults += faults.empty() ? what : std::string(",") + what;
    };
    if (bar.top < ScreenRect(GetDlgItem(dialog, IDC_LOWER_LABEL)).bottom) {
        fault(bar_faults, "above-lower-label");
    }
    const RECT start = ScreenRect(GetDlgItem(dialog, IDC_START));
    if (bar.bottom >= std::min(start.top, ScreenRect(GetDlgItem(dialog, IDC_CLOSE)).top)) {
        fault(bar_faults, "on-buttons");
    }
    if (bar.left < client.left || bar.top < client.top || bar.right > client.right ||
        bar.bottom > client.bottom) {
        fault(bar_faults, "outside-dialog");
    }
    // A loaded machine may paint the banner late.
    const char* banner = BannerFault(options, dialog, client);
    for (int tries = 0; std::strcmp(banner, "missing") == 0 && tries < 50; ++tries) {
        SettleWindow(dialog);
        banner = BannerFault(options, dialog, client);
    }
    std::string cut_texts;
    if (TextCut(dialog, IDC_UPPER_LABEL)) {
        fault(cut_texts, "upper");
    }
    if (TextCut(dialog, IDC_LOWER_LABEL)) {
        fault(cut_texts, "lower");
    }
    Say("layout dpi=%d bar=%s banner=%s texts=%s\n", ScreenDpi(),
        bar_faults.empty() ? "ok" : bar_faults.c_str(), banner,
        cut_texts.empty() ? "fit" : ("cut:" + cut_texts).c_str());
}

void SayFinal(HWND dialog) {
    HWND bar = ProgressBar(dialog);
    const auto position = static_cast<int>(SendWaiting(bar, PBM_GETPOS, 0, 0));
    const auto colour = static_cast<COLORREF>(SendWaiting(bar, PBM_GETBARCOLOR, 0, 0));
    char bar_text[16] = "default";
    if (colour != CLR_DEFAULT) {
        std::snprintf(bar_text, sizeof bar_text, "%02x%02x%02x", GetRValue(colour),
                      GetGValue(colour), GetBValue(colour));
    }
    Say("final %s progress=%d bar=%s start=%s close=%s\n", LabelsText(dialog).c_str(), position,
        bar_text, EnabledWord(dialog, IDC_START), EnabledWord(dialog, IDC_CLOSE));
}

// Esc goes through the dialog's own message loop, as a key press would.
void PressEscape(HWND dialog, HANDLE process) {
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    WaitForInputIdle(process, kSendTimeoutMs);
    Sleep(100);
}

// The caption's close box and Alt+F4 (both the system command), a plain close request
// and a click on the disabled Close button: all must be refused during an update.
void TryToClose(HWND dialog) {
    SendWaiting(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendWaiting(dialog, WM_CLOSE, 0, 0);
    Click(dialog, IDC_CLOSE);
}

// Start disables itself before it returns; enabled again at once, it started nothing.
void ClickStart(HWND dialog) {
    Click(dialog, IDC_START);
    if (Enabled(dialog, IDC_START)) {
        Say("start failed start=enabled close=%s\n", EnabledWord(dialog, IDC_CLOSE));
        Click(dialog, IDC_START);
    }
}

// A dialog that works by itself: watched, and closed only once CLOSE_ON exists.
void WatchDialog(const Options& options, HWND dialog, DialogState& state) {
    if (!state.seen) {
        state.seen = true;
        state.window = dialog;
        Say("dialog %s\n", LabelsText(dialog).c_str());
    }
    const bool close_enabled = Enabled(dialog, IDC_CLOSE);
    state.close_seen_disabled = state.close_seen_disabled || !close_enabled;
    const bool finished = options.close_on.empty() ? close_enabled && state.close_seen_disabled
                                                   : GetFileAttributesA(options.close_on.c_str()) !=
                                                         INVALID_FILE_ATTRIBUTES;
    if (!finished || state.final_said || !IsWindow(dialog)) {
        return;
    }
    state.final_said = true;
    SettleWindow(dialog);
    SayFinal(dialog);
    SaveShot(options, dialog, "final.png");
    if (!options.close_on.empty()) {
        state.closed = true;
        Click(dialog, IDC_CLOSE);
    }
}

void StepDialog(const Options& options, HANDLE process, HWND dialog, DialogState& state) {
    if (options.watch || !options.close_on.empty()) {
        WatchDialog(options, dialog, state);
        return;
    }
    if (!state.seen) {
        state.seen = true;
        state.window = dialog;
        SettleWindow(dialog);
        Say("dialog %s\n", LabelsText(dialog).c_str());
        SayLayout(options, dialog);
        SayEndSession(dialog, "before");
        SaveShot(options, dialog, "idle.png");
        PressEscape(dialog, process);
        if (options.start && IsWindow(dialog)) {
            ClickStart(dialog);
        }
    }
    bool finished = !options.start;
    if (options.start) {
        if (!Enabled(dialog, IDC_CLOSE)) {
            if (!state.close_seen_disabled && !state.box_after_dialog) {
                state.close_seen_disabled = true;
                SayEndSession(dialog, "during");
                TryToClose(dialog);
            }
            const auto position =
                static_cast<int>(SendWaiting(ProgressBar(dialog), PBM_GETPOS, 0, 0));
            if (!state.progress_shot && position >= 30 && position <= 90) {
                state.progress_shot = true;
                SaveShot(options, dialog, "progress.png");
            }
        } else {
            // A failing update may raise its box and re-enable Close between two polls,
            // so its box also says the update has run.
            finished = state.close_seen_disabled || state.box_after_dialog;
        }
    }
    if (finished && IsWindow(dialog)) {
        SettleWindow(dialog);
        if (options.start) {
            SayEndSession(dialog, "after");
            SayLayout(options, dialog);
        }
        SayFinal(dialog);
        SaveShot(options, dialog, "final.png");
        state.closed = true;
        Click(dialog, IDC_CLOSE);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: uidriver [--start | --watch | --close-on FILE] [--shots DIR] "
                             "[--trace FILE] [--timeout SECONDS] -- PROGRAM [ARGUMENT]...\n");
        return 2;
    }
    PROCESS_INFORMATION process = {};
    if (!StartProgram(options, process)) {
        return 2;
    }
    const ULONGLONG deadline = GetTickCount64() + options.timeout_ms;
    std::set<HWND> handled_boxes;
    DialogState dialog_state;
    int result = 0;
    while (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) {
            Say("timeout\n");
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
            result = 1;
            break;
        }
        for (HWND window : VisibleWindowsOf(process.dwProcessId)) {
            if (IsMessageBox(window) && handled_boxes.insert(window).second) {
                if (dialog_state.seen && IsWindow(dialog_state.window)) {
                    Say("while-box start=%s close=%s\n",
                        EnabledWord(dialog_state.window, IDC_START),
                        EnabledWord(dialog_state.window, IDC_CLOSE));
                    SayEndSession(dialog_state.window, "while-box");
                }
                HandleBox(window);
                dialog_state.box_after_dialog = dialog_state.seen;
            } else if (IsMainDialog(window) && !dialog_state.closed) {
                StepDialog(options, process.hProcess, window, dialog_state);
            }
        }
    }
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    Say("exit %d\n", static_cast<int>(static_cast<std::int32_t>(exit_code)));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
