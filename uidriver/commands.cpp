// What the UI driver can do to the program: the actions a user takes (menu, buttons, radio
// items, list items, keys, closing windows, message boxes), the device changes Windows
// announces, the readings a test makes of the screen, and how long a window takes to answer.
// Under Wine one process cannot read another's menu, so menu commands are posted by id.
#include "uidriver/commands.h"

#include "app/resource.h"
#include "uidriver/process_resources.h"
#include "uidriver/screen_capture.h"
#include "uidriver/window_lookup.h"
#include "winports/wide_text.h"

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDefaultWaitMs = 10000;
constexpr int kPollMs = 20;
const char kMessageBoxTitle[] = "Quendar Avionics VHF transceiver";
const char kDialogClass[] = "#32770";

int Fail(const std::string& why) {
    std::fprintf(stderr, "q42ui: %s\n", why.c_str());
    return kFailed;
}

bool ParseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return !text.empty() && *end == '\0';
}

// Optional last argument: a time limit in milliseconds.
bool TimeLimit(const Args& args, size_t index, int& ms) {
    long value = kDefaultWaitMs;
    if (args.size() > index && (!ParseNumber(args[index], value) || value < 0)) return false;
    ms = static_cast<int>(value);
    return true;
}

bool Elapsed(DWORD start, int ms) { return static_cast<int>(GetTickCount() - start) >= ms; }

HWND Window(const std::string& caption) {
    HWND hwnd = FindTopLevel(caption);
    if (!hwnd) Fail("no window \"" + caption + "\"");
    return hwnd;
}

HWND Control(HWND top, const std::string& selector_text) {
    ControlSelector selector;
    std::string error;
    if (!ParseSelector(selector_text, selector, error)) {
        Fail(error);
        return nullptr;
    }
    HWND control = FindControl(top, selector);
    if (!control) Fail("no control " + selector_text);
    return control;
}

// A user cannot act on a window that a modal window has disabled, nor on a disabled control.
bool UserCanReach(HWND hwnd, const std::string& what) {
    if (IsWindowEnabled(hwnd) && IsWindowVisible(hwnd)) return true;
    Fail(what + " is disabled or hidden");
    return false;
}

int Print(const std::string& text) {
    for (const std::string& line : SplitLines(text)) std::printf("%s\n", line.c_str());
    return kOk;
}

bool HasLine(HWND control, const std::string& wanted) {
    for (const std::string& line : SplitLines(ControlText(control))) {
        if (line == wanted) return true;
    }
    return false;
}

int WindowsCmd(const Args&) {
    struct Lister {
        static BOOL CALLBACK Each(HWND hwnd, LPARAM) {
            char caption[512];
            GetWindowTextA(hwnd, caption, sizeof caption);
            if (caption[0]) {
                std::printf("%s visible=%d \"%s\"\n", ClassOf(hwnd).c_str(), IsWindowVisible(hwnd) ? 1 : 0, caption);
            }
            return TRUE;
        }
    };
    EnumWindows(Lister::Each, 0);
    return kOk;
}

int ListCmd(const Args& args) {
    HWND top = Window(args[0]);
    if (!top) return kFailed;
    HWND parent = top;
    for (HWND child : ChildControls(top)) {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        std::string text = ControlText(child);
        for (char& c : text) {
            if (c == '\r' || c == '\n') c = '|';
        }
        std::printf("%s id=%d at=%ld,%ld size=%ldx%ld enabled=%d visible=%d \"%s\"\n", ClassOf(child).c_str(),
                    GetDlgCtrlID(child), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                    IsWindowEnabled(child) ? 1 : 0, IsWindowVisible(child) ? 1 : 0, text.c_str());
    }
    return kOk;
}

int WaitWindowCmd(const Args& args) {
    int ms;
    if (!TimeLimit(args, 1, ms)) return kUsage;
    if (!WaitForTopLevel(args[0], ms)) return Fail("window \"" + args[0] + "\" did not appear");
    return kOk;
}

int WaitGoneCmd(const Args& args) {
    int ms;
    if (!TimeLimit(args, 1, ms)) return kUsage;
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindTopLevel(args[0]);
        if (!hwnd || !IsWindowVisible(hwnd)) return kOk;
        if (Elapsed(start, ms)) return Fail("window \"" + args[0] + "\" is still shown");
        Sleep(kPollMs);
    }
}

int MenuCmd(const Args& args) {
    static const struct {
        const char* name;
        int id;
    } kMenuIds[] = {{"IDM_SETUP", IDM_SETUP},
                    {"IDM_UPDATE", IDM_UPDATE},
                    {"IDM_TEST_PORT", IDM_TEST_PORT},
                    {"IDM_BENCH", IDM_BENCH},
                    {"IDM_OPEN_LOG", IDM_OPEN_LOG}};
    long id = -1;
    for (const auto& entry : kMenuIds) {
        if (args[1] == entry.name) id = entry.id;
    }
    if (id < 0 && !ParseNumber(args[1], id)) return Fail("unknown menu command " + args[1]);
    HWND top = Window(args[0]);
    if (!top || !UserCanReach(top, "window \"" + args[0] + "\"")) return kFailed;
    // Posted: the command opens a modal window, and its handler returns only when that closes.
    if (!PostMessageA(top, WM_COMMAND, MAKEWPARAM(id, 0), 0)) return Fail("PostMessage failed");
    return kOk;
}

int ClickCmd(const Args& args) {
    HWND top = Window(args[0]);
    if (!top) return kFailed;
    HWND button = Control(top, "Button=" + args[1]);
    if (!button || !UserCanReach(top, "window \"" + args[0] + "\"") ||
        !UserCanReach(button, "button \"" + args[1] + "\"")) {
        return kFailed;
    }
    // Posted, since the click handler may run a whole firmware write before it returns.
    if (!PostMessageA(button, BM_CLICK, 0, 0)) return Fail("PostMessage failed");
    return kOk;
}

int TypeCmd(const Args& args) {
    std::string bytes;
    if (!DecodeEscapes(args[1], bytes)) return Fail("bad escape in \"" + args[1] + "\"");
    HWND top = Window(args[0]);
    if (!top || !UserCanReach(top, "window \"" + args[0] + "\"")) return kFailed;
    for (unsigned char c : bytes) {
        if (!PostMessageA(top, WM_CHAR, c, 1)) return Fail("PostMessage failed");
    }
    return kOk;
}

// What a barcode scanner's typing ends in: the field's whole text set, in UTF-16, so that the
// edit tells its window EN_CHANGE as it does for a user's keys.
int SetTextCmd(const Args& args) {
    HWND top = Window(args[0]);
    HWND control = top ? Control(top, args[1]) : nullptr;
    if (!control || !UserCanReach(top, "window \"" + args[0] + "\"") || !UserCanReach(control, args[1])) {
        return kFailed;
    }
    const std::wstring text = WideFromUtf8(args[2]);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kDefaultWaitMs, &result) ||
        !result) {
        return Fail(args[1] + " did not take the text");
    }
    return kOk;
}

int TextCmd(const Args& args) {
    HWND top = Window(args[0]);
    HWND control = top ? Control(top, args[1]) : nullptr;
    if (!control) return kFailed;
    return Print(ControlText(control));
}

int WaitTextCmd(const Args& args) {
    int ms;
    if (!TimeLimit(args, 3, ms)) return kUsage;
    HWND top = Window(args[0]);
    if (!top) return kFailed;
    ControlSelector selector;
    std::string error;
    if (!ParseSelector(args[1], selector, error)) return Fail(error);
    const DWORD start = GetTickCount();
    for (;;) {
        HWND control = FindControl(top, selector);
        if (control && HasLine(control, args[2])) return kOk;
        if (Elapsed(start, ms)) {
            Fail("no line \"" + args[2] + "\" in " + args[1] + "; it holds:");
            if (control) Print(ControlText(control));
            return kFailed;
        }
        Sleep(kPollMs);
    }
}

int StateCmd(const Args& args) {
    HWND top = Window(args[0]);
    HWND control = top ? Control(top, args[1]) : nullptr;
    if (!control) return kFailed;
    const LRESULT check = SendMessageA(control, BM_GETCHECK, 0, 0);
    std::printf("enabled=%d visible=%d checked=%d\n", IsWindowEnabled(control) ? 1 : 0,
                IsWindowVisible(control) ? 1 : 0, ClassOf(control) == "Button" && check == BST_CHECKED);
    return kOk;
}

// The items of a list box, in order; with selected_only, the selected one (none: no line).
std::vector<std::string> ListItems(HWND list, bool selected_only) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    const int selected = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (selected_only && i != selected) continue;
        // Asked for in UTF-16: Wine 8 hands an ANSI request from another process UTF-16 text.
        wchar_t text[512];
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= static_cast<LRESULT>(sizeof text / sizeof text[0])) continue;
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        char narrow[1024];
        const int size =
            WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow, sizeof narrow, nullptr, nullptr);
        items.emplace_back(narrow, static_cast<size_t>(size > 0 ? size : 0));
    }
    return items;
}

int ItemsCmd(const Args& args, bool selected_only) {
    HWND top = Window(args[0]);
    HWND list = top ? Control(top, args[1]) : nullptr;
    if (!list) return kFailed;
    for (const std::string& item : ListItems(list, selected_only)) std::printf("%s\n", item.c_str());
    return kOk;
}

int AllItemsCmd(const Args& args) { return ItemsCmd(args, false); }
int SelectedItemCmd(const Args& args) { return ItemsCmd(args, true); }

// A click on the item with this text, as a user makes it: scrolled into view, then the left
// button pressed and released over it.
int ChooseCmd(const Args& args) {
    HWND top = Window(args[0]);
    HWND list = top ? Control(top, args[1]) : nullptr;
    if (!list || !UserCanReach(top, "window \"" + args[0] + "\"") || !UserCanReach(list, args[1])) return kFailed;
    const std::vector<std::string> items = ListItems(list, false);
    int index = -1;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == args[2]) index = static_cast<int>(i);
    }
    if (index < 0) return Fail("no item \"" + args[2] + "\" in " + args[1]);
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    const int top_index = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    const LPARAM point = MAKELPARAM(4, (index - top_index) * height + height / 2);
    if (!PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point) || !PostMessageA(list, WM_LBUTTONUP, 0, point)) {
        return Fail("PostMessage failed");
    }
    return kOk;
}

// What Windows tells every top-level window when a serial port arrives.
int PortArrivedCmd(const Args& args) {
    struct {
        DEV_BROADCAST_PORT_A header;
        char rest[16];
    } port{};
    if (args[0].size() >= sizeof port.rest) return kUsage;
    port.header.dbcp_size = static_cast<DWORD>(sizeof port.header + args[0].size());
    port.header.dbcp_devicetype = DBT_DEVTYP_PORT;
    lstrcpyA(port.header.dbcp_name, args[0].c_str());
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port),
                             SMTO_ABORTIFHUNG, kDefaultWaitMs, &result)) {
        return Fail("the broadcast of the arrival failed");
    }
    return kOk;
}

int WaitEnabledCmd(const Args& args) {
    long wanted;
    int ms;
    if (!ParseNumber(args[2], wanted) || (wanted != 0 && wanted != 1) || !TimeLimit(args, 3, ms)) {
        return kUsage;
    }
    HWND top = Window(args[0]);
    HWND control = top ? Control(top, args[1]) : nullptr;
    if (!control) return kFailed;
    const DWORD start = GetTickCount();
    while ((IsWindowEnabled(control) ? 1 : 0) != wanted) {
        if (Elapsed(start, ms)) return Fail(args[1] + " did not become " + (wanted ? "enabled" : "disabled"));
        Sleep(kPollMs);
    }
    return kOk;
}

int GaugeCmd(const Args& args) {
    HWND top = Window(args[0]);
    HWND gauge = top ? Control(top, args.size() > 1 ? args[1] : PROGRESS_CLASSA) : nullptr;
    if (!gauge) return kFailed;
    // PBM_GETRANGE with a null PBRANGE returns one end; a pointer would not cross processes.
    const LRESULT position = SendMessageA(gauge, PBM_GETPOS, 0, 0);
    const LRESULT low = SendMessageA(gauge, PBM_GETRANGE, TRUE, 0);
    const LRESULT high = SendMessageA(gauge, PBM_GETRANGE, FALSE, 0);
    std::printf("%ld %ld %ld\n", static_cast<long>(position), static_cast<long>(low), static_cast<long>(high));
    return kOk;
}

int CloseCmd(const Args& args) {
    HWND top = Window(args[0]);
    if (!top || !UserCanReach(top, "window \"" + args[0] + "\"")) return kFailed;
    if (!PostMessageA(top, WM_CLOSE, 0, 0)) return Fail("PostMessage failed");
    return kOk;
}

// The window named by args[0] or, with "owner" after it, the window that owns it: the
// application's window that carries the task bar button.
int TopOrOwner(const Args& args, HWND& top) {
    top = Window(args[0]);
    if (!top) return kFailed;
    if (args.size() > 1) {
        if (args[1] != "owner") return kUsage;
        top = GetWindow(top, GW_OWNER);
        if (!top) return Fail("window \"" + args[0] + "\" has no owner");
    }
    return kOk;
}

// What the system's End task and the task bar's "Close window" do: WM_CLOSE, whether the
// window takes input or not; with "owner", to the window that owns it, the application's
// window that carries the task bar button.
int EndTaskCmd(const Args& args) {
    HWND top = nullptr;
    if (const int status = TopOrOwner(args, top); status != kOk) return status;
    if (!PostMessageA(top, WM_CLOSE, 0, 0)) return Fail("PostMessage failed");
    return kOk;
}

// What Windows does at a shut-down, to the window (or, with "owner", to the application's
// window): asks WM_QUERYENDSESSION, prints the answer ("ends" or "not now"), then tells the
// outcome with WM_ENDSESSION, as Windows does when every program has answered.
int EndSessionCmd(const Args& args) {
    HWND top = nullptr;
    if (const int status = TopOrOwner(args, top); status != kOk) return status;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(top, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kDefaultWaitMs, &answer)) {
        return Fail("no answer to WM_QUERYENDSESSION");
    }
    std::printf("%s\n", answer ? "ends" : "not now");
    std::fflush(stdout);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(top, WM_ENDSESSION, answer ? TRUE : FALSE, 0, SMTO_ABORTIFHUNG, kDefaultWaitMs,
                             &ignored)) {
        return Fail("WM_ENDSESSION was not handled");
    }
    return kOk;
}

// What Windows does when the user ends the session anyway, whatever the windows answered:
// WM_ENDSESSION, the session ending. A program may end before it answers.
int SessionEndsCmd(const Args& args) {
    HWND top = nullptr;
    if (const int status = TopOrOwner(args, top); status != kOk) return status;
    if (!PostMessageA(top, WM_ENDSESSION, TRUE, 0)) return Fail("PostMessage failed");
    return kOk;
}

HWND FindMessageBox() {
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, kDialogClass, kMessageBoxTitle)) != nullptr) {
        if (IsWindowVisible(box)) return box;
    }
    return nullptr;
}

int MessageBoxCmd(const Args& args) {
    int ms;
    if (!TimeLimit(args, 0, ms)) return kUsage;
    const DWORD start = GetTickCount();
    HWND box;
    while ((box = FindMessageBox()) == nullptr) {
        if (Elapsed(start, ms)) return Fail("no message box appeared");
        Sleep(kPollMs);
    }
    for (HWND child : ChildControls(box)) {
        if (ClassOf(child) != "Static") continue;
        const std::string text = ControlText(child);
        if (!text.empty()) Print(text);
    }
    std::fflush(stdout);
    if (!PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0)) return Fail("PostMessage failed");
    const DWORD pressed = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (Elapsed(pressed, kDefaultWaitMs)) return Fail("the message box did not close on OK");
        Sleep(kPollMs);
    }
    return kOk;
}

int CaptureCmd(const Args& args) {
    HWND top = Window(args[0]);
    if (!top) return kFailed;
    std::string error;
    if (!SaveClientArea(top, args[1], error)) return Fail(error);
    return kOk;
}

// One line for the process that owns the window: where a count is not what Windows calls
// it, the name says what was counted instead.
int ResourcesCmd(const Args& args) {
    HWND top = Window(args[0]);
    if (!top) return kFailed;
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    ProcessResources resources;
    std::string error;
    if (!ReadProcessResources(pid, resources, error)) return Fail(error);
    const std::string gdi = resources.gdi_known ? std::to_string(resources.gdi_objects) : "unavailable";
    std::printf("handles=%lu gdi=%s %s=%lu working_set_kb=%lu commit_kb=%lu\n", resources.handles, gdi.c_str(),
                resources.user_counts_windows ? "windows" : "user", resources.user_objects,
                static_cast<unsigned long>(resources.working_set / 1024),
                static_cast<unsigned long>(resources.commit / 1024));
    return kOk;
}

// How long the window takes to answer a message while it works: WM_NULL sent every interval,
// each answer's wait timed. Not aborted as hung, so that a long stall is measured, not cut.
int AnswerTimesCmd(const Args& args) {
    long count;
    long interval_ms;
    if (!ParseNumber(args[1], count) || count < 1 || !ParseNumber(args[2], interval_ms) || interval_ms < 0) {
        return kUsage;
    }
    HWND top = Window(args[0]);
    if (!top) return kFailed;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> waits_ms;
    for (long i = 0; i < count; ++i) {
        LARGE_INTEGER sent;
        LARGE_INTEGER answered;
        DWORD_PTR result = 0;
        QueryPerformanceCounter(&sent);
        if (!SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_BLOCK, kDefaultWaitMs, &result)) {
            return Fail("no answer within " + std::to_string(kDefaultWaitMs) + " ms to message " +
                        std::to_string(i + 1));
        }
        QueryPerformanceCounter(&answered);
        waits_ms.push_back(1000.0 * static_cast<double>(answered.QuadPart - sent.QuadPart) /
                           static_cast<double>(frequency.QuadPart));
        Sleep(static_cast<DWORD>(interval_ms));
    }
    std::sort(waits_ms.begin(), waits_ms.end());
    // The 99th percentile tells one stall from many.
    std::printf("median %.1f ms, 99th percentile %.1f ms, worst %.1f ms over %zu messages\n",
                waits_ms[waits_ms.size() / 2], waits_ms[waits_ms.size() * 99 / 100], waits_ms.back(), waits_ms.size());
    return kOk;
}

int SleepCmd(const Args& args) {
    long ms;
    if (!ParseNumber(args[0], ms) || ms < 0) return kUsage;
    Sleep(static_cast<DWORD>(ms));
    return kOk;
}

size_t MinArgs(const char* usage) {
    size_t count = 0;
    for (const char* p = usage; *p; ++p) {
        if (*p == '<') ++count;
    }
    return count;
}

size_t MaxArgs(const char* usage) {
    size_t count = 0;
    for (const char* p = usage; *p; ++p) {
        if (*p == '<' || *p == '[') ++count;
    }
    return count;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands = {
        {"windows", "", WindowsCmd},
        {"list", "<caption>", ListCmd},
        {"wait-window", "<caption> [ms]", WaitWindowCmd},
        {"wait-gone", "<caption> [ms]", WaitGoneCmd},
        {"menu", "<caption> <IDM_name|id>", MenuCmd},
        {"click", "<caption> <button or radio item text>", ClickCmd},
        {"type", "<caption> <text with \\r \\n \\e \\xHH>", TypeCmd},
        {"set-text", "<caption> <control> <text>", SetTextCmd},
        {"text", "<caption> <control>", TextCmd},
        {"wait-text", "<caption> <control> <line> [ms]", WaitTextCmd},
        {"state", "<caption> <control>", StateCmd},
        {"items", "<caption> <list>", AllItemsCmd},
        {"selected", "<caption> <list>", SelectedItemCmd},
        {"choose", "<caption> <list> <item text>", ChooseCmd},
        {"port-arrived", "<COMn>", PortArrivedCmd},
        {"wait-enabled", "<caption> <control> <0|1> [ms]", WaitEnabledCmd},
        {"gauge", "<caption> [control]", GaugeCmd},
        {"close", "<caption>", CloseCmd},
        {"end-task", "<caption> [owner]", EndTaskCmd},
        {"end-session", "<caption> [owner]", EndSessionCmd},
        {"session-ends", "<caption> [owner]", SessionEndsCmd},
        {"msgbox", "[ms]", MessageBoxCmd},
        {"capture", "<caption> <file.bmp>", CaptureCmd},
        {"resources", "<caption>", ResourcesCmd},
        {"answer-times", "<caption> <count> <interval-ms>", AnswerTimesCmd},
        {"sleep", "<ms>", SleepCmd},
    };
    return commands;
}

int RunCommand(const Args& words) {
    if (words.empty()) return kUsage;
    for (const Command& command : AllCommands()) {
        if (words[0] != command.name) continue;
        const Args args(words.begin() + 1, words.end());
        if (args.size() < MinArgs(command.usage) || args.size() > MaxArgs(command.usage)) {
            std::fprintf(stderr, "usage: q42ui %s %s\n", command.name, command.usage);
            return kUsage;
        }
        return command.run(args);
    }
    std::fprintf(stderr, "q42ui: unknown command %s\n", words[0].c_str());
    return kUsage;
}

bool DecodeEscapes(const std::string& text, std::string& bytes) {
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
        case 'r':
            bytes += '\r';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 't':
            bytes += '\t';
            break;
        case 'b':
            bytes += '\b';
            break;
        case 'e':
            bytes += '\x1b';
            break;
        case '\\':
            bytes += '\\';
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0) return false;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}
