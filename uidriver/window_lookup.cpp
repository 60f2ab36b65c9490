// Window lookup for the UI driver. Every cross-process message goes through
// SendMessageTimeout, so a hung program makes the driver fail instead of hang.
#include "uidriver/window_lookup.h"

#include <strings.h>
#include <cstdlib>

namespace {

constexpr UINT kMessageTimeoutMs = 5000;
constexpr int kPollMs = 20;

struct CaptionSearch {
    const std::string* caption;
    HWND visible;
    HWND hidden;
};

BOOL CALLBACK MatchCaption(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<CaptionSearch*>(param);
    char buffer[512];
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    if (*search->caption != buffer) return TRUE;
    if (IsWindowVisible(hwnd)) {
        search->visible = hwnd;
        return FALSE;
    }
    if (!search->hidden) search->hidden = hwnd;
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool CoversPoint(HWND top, HWND control, POINT client_point) {
    POINT screen = client_point;
    if (!ClientToScreen(top, &screen)) return false;
    RECT rect;
    return GetWindowRect(control, &rect) && PtInRect(&rect, screen);
}

}  // namespace

HWND FindTopLevel(const std::string& caption) {
    CaptionSearch search{&caption, nullptr, nullptr};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.visible ? search.visible : search.hidden;
}

HWND WaitForTopLevel(const std::string& caption, int timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindTopLevel(caption);
        if (hwnd && IsWindowVisible(hwnd)) return hwnd;
        if (static_cast<int>(GetTickCount() - start) >= timeout_ms) return nullptr;
        Sleep(kPollMs);
    }
}

bool ParseSelector(const std::string& selector_text, ControlSelector& selector, std::string& error) {
    const size_t mark = selector_text.find_first_of("#=^@!");
    selector = ControlSelector{};
    selector.class_name = selector_text.substr(0, mark);
    if (selector.class_name.empty()) {
        error = "control selector '" + selector_text + "' names no class";
        return false;
    }
    if (mark == std::string::npos) return true;
    selector.kind = selector_text[mark];
    const std::string rest = selector_text.substr(mark + 1);
    char* end = nullptr;
    switch (selector.kind) {
    case '#':
        selector.ordinal = static_cast<int>(std::strtol(rest.c_str(), &end, 10));
        if (rest.empty() || *end != '\0' || selector.ordinal < 1) {
            error = "'" + selector_text + "': expected a positive number after #";
            return false;
        }
        return true;
    case '@': {
        selector.point.x = std::strtol(rest.c_str(), &end, 10);
        if (*end != ',') {
            error = "'" + selector_text + "': expected X,Y after @";
            return false;
        }
        const char* y = end + 1;
        selector.point.y = std::strtol(y, &end, 10);
        if (*y == '\0' || *end != '\0') {
            error = "'" + selector_text + "': expected X,Y after @";
            return false;
        }
        return true;
    }
    case '!':
        selector.id = static_cast<int>(std::strtol(rest.c_str(), &end, 10));
        if (rest.empty() || *end != '\0' || selector.id < 1) {
            error = "'" + selector_text + "': expected a control id after !";
            return false;
        }
        return true;
    default:
        selector.text = rest;
        return true;
    }
}

std::vector<HWND> ChildControls(HWND top) {
    std::vector<HWND> children;
    EnumChildWindows(top, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::string ClassOf(HWND hwnd) {
    char buffer[256];
    const int length = GetClassNameA(hwnd, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? length : 0);
}

HWND FindControl(HWND top, const ControlSelector& selector) {
    int seen = 0;
    for (HWND child : ChildControls(top)) {
        if (strcasecmp(ClassOf(child).c_str(), selector.class_name.c_str()) != 0) continue;
        switch (selector.kind) {
        case '#':
            if (++seen == selector.ordinal) return child;
            break;
        case '=':
            if (ControlText(child) == selector.text) return child;
            break;
        case '^':
            if (StartsWith(ControlText(child), selector.text)) return child;
            break;
        case '@':
            if (CoversPoint(top, child, selector.point)) return child;
            break;
        case '!':
            if (GetDlgCtrlID(child) == selector.id) return child;
            break;
        }
    }
    return nullptr;
}

std::string ControlText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length)) {
        return std::string();
    }
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &copied)) {
        return std::string();
    }
    text.resize(copied < length ? copied : length);
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    return lines;
}
