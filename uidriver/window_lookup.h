// Finding the program's windows from another process: top-level windows by caption,
// controls by class and one of ordinal, text or position, and reading their texts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Top-level window with exactly this caption; a visible one is preferred over a hidden one.
HWND FindTopLevel(const std::string& caption);

// Polls every 20 ms until FindTopLevel finds a visible window, or timeout_ms has passed.
HWND WaitForTopLevel(const std::string& caption, int timeout_ms);

// A control selector is CLASS followed by one of:
//   #N      the N-th control of that class (1-based, in creation order),
//   =TEXT   the control of that class whose text is exactly TEXT,
//   ^TEXT   the first control of that class whose text starts with TEXT,
//   @X,Y    the control of that class that covers client point (X, Y) of the window,
//   !ID     the control of that class whose control id is ID.
// CLASS alone means the first control of that class. Classes compare case-blind.
struct ControlSelector {
    std::string class_name;
    char kind = '#';
    int ordinal = 1;
    int id = 0;
    std::string text;
    POINT point = {0, 0};
};

bool ParseSelector(const std::string& selector_text, ControlSelector& selector, std::string& error);
HWND FindControl(HWND top, const ControlSelector& selector);

std::vector<HWND> ChildControls(HWND top);
std::string ClassOf(HWND hwnd);

// The control's text through WM_GETTEXT (answered by the owning process, so it also works
// for edit controls whose text is not the window name). Empty when the program is hung.
std::string ControlText(HWND hwnd);

// Splits at CR LF (or a lone LF), the way a multi-line edit control holds its lines.
std::vector<std::string> SplitLines(const std::string& text);
