// Labels, multi-line text, push buttons, the radio group and the list of the window layer.
#include "winui/controls.h"

#include <algorithm>
#include <stdexcept>

#include "winports/wide_text.h"
#include "winui/form.h"

namespace {

// Design bounds at dpi: the edges are scaled, so that neighbours stay neighbours.
Bounds ScaleBounds(const Bounds& design, int dpi) {
    const int left = ScaleToDpi(design.left, dpi);
    const int top = ScaleToDpi(design.top, dpi);
    return Bounds{left, top, ScaleToDpi(design.left + design.width, dpi) - left,
                  ScaleToDpi(design.top + design.height, dpi) - top};
}

}  // namespace

HWND TControl::MakeWindow(TForm& form, const char* window_class, const std::string& text, DWORD style, DWORD ex_style,
                          const Bounds& bounds, int id) {
    const Bounds placed = ScaleBounds(bounds, form.Dpi());
    HWND hwnd = CreateWindowExA(ex_style, window_class, text.c_str(), style | WS_CHILD | WS_VISIBLE, placed.left,
                                placed.top, placed.width, placed.height, form.Handle(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (hwnd == nullptr) {
        throw std::runtime_error("Cannot create the control \"" + text +
                                 "\" (Error: " + std::to_string(GetLastError()) + ")");
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.Font()), FALSE);
    windows_.push_back(PlacedWindow{hwnd, bounds});
    if (form_ == nullptr) {
        form_ = &form;
        form.AddControl(*this);
    }
    return hwnd;
}

void TControl::ApplyDpi() {
    for (const PlacedWindow& window : windows_) {
        const Bounds placed = ScaleBounds(window.design, form_->Dpi());
        SetWindowPos(window.hwnd, nullptr, placed.left, placed.top, placed.width, placed.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(window.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form_->Font()), TRUE);
    }
}

HBRUSH TControl::Colour(HDC dc) {
    SetBkColor(dc, form_->Colour());
    return form_->Brush();
}

void TLabel::Create(TForm& form, int id, const Bounds& bounds, const std::string& caption, const LabelStyle& style) {
    style_ = style;
    DWORD window_style = SS_NOPREFIX;
    if (style.centred) {
        window_style |= SS_CENTER;
    } else {
        window_style |= style.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    }
    handle_ = MakeWindow(form, "STATIC", caption, window_style, 0, bounds, id);
    if (style.font != nullptr) {
        own_font_ = OwnedFont(*style.font, form.Dpi());
        SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(own_font_.Handle()), FALSE);
    }
    FitToText();
}

void TLabel::ApplyDpi() {
    TControl::ApplyDpi();
    if (style_.font != nullptr) {
        // The label holds the form's font by now, so its own old one can go.
        own_font_ = OwnedFont(*style_.font, form_->Dpi());
        SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(own_font_.Handle()), TRUE);
    }
    FitToText();
}

void TLabel::SetCaption(const std::string& caption) {
    SetWindowTextA(handle_, caption.c_str());
    FitToText();
}

std::string TLabel::Caption() const {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(handle_)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(handle_, &text[0], static_cast<int>(text.size()))));
    return text;
}

void TLabel::FitToText() {
    if (!style_.auto_size) return;
    const std::string text = Caption();
    RECT r{0, 0, 0, 0};
    {
        const WindowDC dc(handle_);
        HGDIOBJ old = SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageA(handle_, WM_GETFONT, 0, 0)));
        // An empty label keeps the height of one line, as it would with text.
        DrawTextA(dc.Get(), text.empty() ? " " : text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
        SelectObject(dc.Get(), old);
    }
    SetWindowPos(handle_, nullptr, 0, 0, text.empty() ? 0 : r.right, r.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(handle_, nullptr, TRUE);
}

void TMemo::Create(TForm& form, int id, const Bounds& bounds, bool word_wrap) {
    DWORD style = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_TABSTOP;
    if (!word_wrap) style |= ES_AUTOHSCROLL;
    handle_ = MakeWindow(form, "EDIT", "", style, WS_EX_CLIENTEDGE, bounds, id);
}

void TMemo::Clear() {
    text_.clear();
    SetWindowTextA(handle_, "");
}

void TMemo::Add(const std::string& line) {
    if (!text_.empty()) text_ += "\r\n";
    text_ += line;
    SetWindowTextW(handle_, WideFromUtf8(text_).c_str());
}

void TMemo::SetLines(const std::vector<std::string>& lines) {
    text_.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text_ += "\r\n";
        text_ += lines[i];
    }
    SetWindowTextW(handle_, WideFromUtf8(text_).c_str());
}

void TMemo::ScrollToEnd() {
    const LRESULT lines = SendMessageW(handle_, EM_GETLINECOUNT, 0, 0);
    SendMessageW(handle_, EM_LINESCROLL, 0, lines);
}

HBRUSH TMemo::Colour(HDC dc) {
    // Read-only text keeps the colour of a text box, not that of the form behind it.
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
}

void TButton::Create(TForm& form, int id, const Bounds& bounds, const std::string& caption, bool is_default) {
    handle_ = MakeWindow(form, "BUTTON", caption,
                         (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP | WS_GROUP, 0, bounds, id);
}

void TButton::Command(HWND, int code) {
    if (code == BN_CLICKED && OnClick) OnClick();
}

void TCheckBox::Create(TForm& form, int id, const Bounds& bounds, const std::string& caption, bool checked) {
    handle_ = MakeWindow(form, "BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, bounds, id);
    SetChecked(checked);
}

bool TCheckBox::Checked() const { return SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
    SendMessageA(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::Command(HWND, int code) {
    if (code == BN_CLICKED && OnClick) OnClick();
}

void TEdit::Create(TForm& form, int id, const Bounds& bounds, const std::string& text) {
    handle_ = MakeWindow(form, "EDIT", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, bounds, id);
    SetText(text);
}

std::string TEdit::Text() const {
    const int length = GetWindowTextLengthW(handle_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(handle_, &text[0], length + 1)));
    return Utf8FromWide(text);
}

void TEdit::SetText(const std::string& text) { SetWindowTextW(handle_, WideFromUtf8(text).c_str()); }

void TEdit::Command(HWND, int code) {
    if (code == EN_CHANGE && OnChange) OnChange();
}

Bounds RadioItemBounds(const Bounds& group, int text_height, int count, int columns, int index) {
    const int per_column = (count + columns - 1) / columns;
    const int item_width = (group.width - 10) / columns;
    const int rows_height = group.height - text_height - 5;
    const int item_height = rows_height / per_column;
    const int top_margin = text_height + 1 + (rows_height % per_column) / 2;
    return Bounds{group.left + 8 + (index / per_column) * item_width,
                  group.top + top_margin + (index % per_column) * item_height, item_width, item_height};
}

void TRadioGroup::Create(TForm& form, int id, const Bounds& bounds, const std::string& caption,
                         const std::vector<std::string>& items, int columns) {
    handle_ = MakeWindow(form, "BUTTON", caption, BS_GROUPBOX, 0, bounds, id);
    // The items are placed in design pixels, by the height of the design's font at 96 DPI: a
    // font's height does not grow exactly with its size, and the places must.
    const OwnedFont design_font(form.FontDesign(), kDesignDpi);
    TEXTMETRICA metrics{};
    {
        const WindowDC dc(handle_);
        HGDIOBJ old = SelectObject(dc.Get(), design_font.Handle());
        GetTextMetricsA(dc.Get(), &metrics);
        SelectObject(dc.Get(), old);
    }
    const int count = static_cast<int>(items.size());
    for (int i = 0; i < count; ++i) {
        const Bounds place = RadioItemBounds(bounds, metrics.tmHeight, count, columns, i);
        const DWORD style = BS_RADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
        items_.push_back(MakeWindow(form, "BUTTON", items[static_cast<size_t>(i)], style, 0, place, id + 1 + i));
    }
}

void TRadioGroup::SetItemIndex(int index) {
    const int last = static_cast<int>(items_.size()) - 1;
    index = std::max(-1, std::min(index, last));
    if (index == item_index_) return;
    if (item_index_ >= 0) SendMessageA(Item(item_index_), BM_SETCHECK, BST_UNCHECKED, 0);
    item_index_ = index;
    if (index >= 0) SendMessageA(Item(index), BM_SETCHECK, BST_CHECKED, 0);
    MoveTabStop();
    if (OnClick) OnClick();
}

// A radio button that takes the focus while unchecked clicks itself, so Tab must land on the
// checked item: otherwise tabbing through the window would change the selection.
void TRadioGroup::MoveTabStop() {
    const int stop = std::max(item_index_, 0);
    for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
        const LONG_PTR style = GetWindowLongPtrA(Item(i), GWL_STYLE);
        SetWindowLongPtrA(Item(i), GWL_STYLE, i == stop ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
    }
}

bool TRadioGroup::Owns(HWND hwnd) const {
    return hwnd == handle_ || std::find(items_.begin(), items_.end(), hwnd) != items_.end();
}

void TRadioGroup::Command(HWND from, int code) {
    if (code != BN_CLICKED) return;
    const auto item = std::find(items_.begin(), items_.end(), from);
    if (item != items_.end()) SetItemIndex(static_cast<int>(item - items_.begin()));
}

void TListBox::Create(TForm& form, int id, const Bounds& bounds) {
    handle_ = MakeWindow(form, "LISTBOX", "",
                         LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | WS_VSCROLL |
                             WS_HSCROLL | WS_BORDER | WS_TABSTOP,
                         0, bounds, id);
}

void TListBox::SetItems(const std::vector<std::string>& items, const std::vector<bool>& greyed) {
    SendMessageA(handle_, LB_RESETCONTENT, 0, 0);
    item_index_ = -1;
    greyed_ = greyed;
    LONG widest = 0;
    {
        const WindowDC dc(handle_);
        HGDIOBJ old = SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageA(handle_, WM_GETFONT, 0, 0)));
        // Drawn by its form, the list takes its items' height from the font only when told.
        TEXTMETRICW metrics;
        if (GetTextMetricsW(dc.Get(), &metrics)) {
            SendMessageA(handle_, LB_SETITEMHEIGHT, 0, MAKELPARAM(metrics.tmHeight, 0));
        }
        for (const std::string& item : items) {
            // Wide, so that a port's name keeps every character Windows gave it.
            const std::wstring text = WideFromUtf8(item);
            SendMessageW(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            SIZE size{0, 0};
            if (GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size)) {
                widest = std::max(widest, size.cx);
            }
        }
        SelectObject(dc.Get(), old);
    }
    // A few pixels beyond the text, as the list draws its items indented.
    SendMessageA(handle_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 6), 0);
}

void TListBox::SetItemIndex(int index) {
    SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    item_index_ = static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0));
}

void TListBox::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) {
        if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool grey = item.itemID < greyed_.size() && greyed_[item.itemID];
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(grey ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const LRESULT length = SendMessageW(handle_, LB_GETTEXTLEN, item.itemID, 0);
    if (length > 0) {
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const LRESULT copied = SendMessageW(handle_, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(&text[0]));
        if (copied > 0) {
            TextOutW(item.hDC, item.rcItem.left + 2, item.rcItem.top, text.c_str(), static_cast<int>(copied));
        }
    }
    if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
}

void TListBox::Command(HWND, int code) {
    if (code != LBN_SELCHANGE) return;
    const int index = static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0));
    // A click on the selected item reports a change too; choosing it again does nothing.
    if (index == item_index_) return;
    item_index_ = index;
    if (OnClick) OnClick();
}
