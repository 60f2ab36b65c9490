// The controls of the window layer, each a real Windows control so that automation sees
// what a user sees: labels (STATIC), multi-line text (read-only EDIT), text fields (EDIT),
// push buttons, tick boxes and a radio group (BUTTON), a list (LISTBOX). Their notifications reach the handlers through
// the form. They are placed in design pixels (96 DPI) and scaled to the form's DPI.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "winui/gdi.h"

class TForm;

struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class TControl {
public:
    TControl() = default;
    virtual ~TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    HWND Handle() const { return handle_; }
    bool Enabled() const { return IsWindowEnabled(handle_) != FALSE; }
    void SetEnabled(bool enabled) { EnableWindow(handle_, enabled ? TRUE : FALSE); }

    virtual bool Owns(HWND hwnd) const { return hwnd == handle_; }
    // A WM_COMMAND notification from one of this control's windows.
    virtual void Command(HWND from, int code) { (void)from, (void)code; }
    // Answers WM_CTLCOLORSTATIC: the background behind the control's text.
    virtual HBRUSH Colour(HDC dc);
    // Answers WM_DRAWITEM for a control its form draws.
    virtual void DrawItem(const DRAWITEMSTRUCT& item) { (void)item; }
    // The form's DPI has changed: each window of the control goes to its design place at
    // the new DPI, with the form's new font.
    virtual void ApplyDpi();

protected:
    // bounds are design pixels.
    HWND MakeWindow(TForm& form, const char* window_class, const std::string& text, DWORD style, DWORD ex_style,
                    const Bounds& bounds, int id);

    TForm* form_ = nullptr;
    HWND handle_ = nullptr;

private:
    struct PlacedWindow {
        HWND hwnd;
        Bounds design;
    };
    std::vector<PlacedWindow> windows_;
};

struct LabelStyle {
    bool auto_size = true;  // the label takes the size of its text
    bool centred = false;
    bool word_wrap = false;
    const FontSpec* font = nullptr;  // null: the form's font
};

class TLabel : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds, const std::string& caption,
                const LabelStyle& style = LabelStyle());
    void SetCaption(const std::string& caption);
    std::string Caption() const;
    void ApplyDpi() override;

private:
    void FitToText();

    LabelStyle style_;
    OwnedFont own_font_;
};

// Read-only multi-line text (UTF-8, in any script); lines are separated by CR LF, with none
// after the last.
class TMemo : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds, bool word_wrap);
    void Clear();
    void Add(const std::string& line);
    void SetLines(const std::vector<std::string>& lines);
    const std::string& Text() const { return text_; }
    // Brings the last line into view.
    void ScrollToEnd();
    HBRUSH Colour(HDC dc) override;

private:
    std::string text_;
};

class TButton : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds, const std::string& caption, bool is_default);
    void Command(HWND from, int code) override;

    std::function<void()> OnClick;
};

// A tick box. OnClick runs when the user ticks or clears it; SetChecked does not run it.
class TCheckBox : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds, const std::string& caption, bool checked);
    bool Checked() const;
    void SetChecked(bool checked);
    void Command(HWND from, int code) override;
    std::function<void()> OnClick;
};

// A field the user types into, one line, in any script (UTF-8 in and out). OnChange runs at
// every change, the user's, a scanner's or SetText's.
class TEdit : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds, const std::string& text);
    std::string Text() const;
    void SetText(const std::string& text);
    void Command(HWND from, int code) override;
    std::function<void()> OnChange;
};

// Places of the items of a radio group, relative to the group box, filled column by column.
// text_height is the height of the group's font; the first rows leave room for the caption.
Bounds RadioItemBounds(const Bounds& group, int text_height, int count, int columns, int index);

// A group box with its radio buttons. OnClick runs whenever the selected item changes,
// by the user or by SetItemIndex; selecting the selected item again does not run it.
class TRadioGroup : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds, const std::string& caption,
                const std::vector<std::string>& items, int columns);
    int ItemIndex() const { return item_index_; }
    // Limited to the last item; -1 selects nothing.
    void SetItemIndex(int index);
    HWND Item(int index) const { return items_[static_cast<size_t>(index)]; }

    bool Owns(HWND hwnd) const override;
    void Command(HWND from, int code) override;

    std::function<void()> OnClick;

private:
    void MoveTabStop();

    std::vector<HWND> items_;
    int item_index_ = -1;
};

// A list of texts, at most one selected. OnClick runs when the user changes the selection;
// SetItems and SetItemIndex do not run it.
class TListBox : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds);
    // Replaces the items, with nothing selected; wide texts scroll sideways. An item whose
    // place in greyed is true is drawn greyed.
    void SetItems(const std::vector<std::string>& items, const std::vector<bool>& greyed = {});
    int ItemIndex() const { return item_index_; }
    // -1 selects nothing.
    void SetItemIndex(int index);

    void Command(HWND from, int code) override;
    void DrawItem(const DRAWITEMSTRUCT& item) override;

    std::function<void()> OnClick;

private:
    int item_index_ = -1;
    std::vector<bool> greyed_;
};
