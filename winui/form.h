// The form: a top-level window created hidden, holding real Windows controls, shown either
// as the main window or modally (its owner disabled, a nested message loop, ended by
// closing). A derived window overrides the handlers it needs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "winui/dpi.h"
#include "winui/gdi.h"

class TControl;
class TTimer;

enum class FormSize { Window, Client };  // which of the two the design's size gives
enum class FormPosition { Designed, ScreenCenter, Default };

struct FormDesign {
    const char* class_name;
    std::string caption;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    FormSize size = FormSize::Window;
    FormPosition position = FormPosition::Default;
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD ex_style = 0;
    COLORREF colour = 0;         // background
    bool system_colour = true;   // colour is a GetSysColor index instead of an RGB value
    const char* menu = nullptr;  // resource name of the menu bar
    FontSpec font;
    bool dialog_keys = false;  // Tab, Enter and arrow keys act as in a dialog box
};

class TForm {
public:
    explicit TForm(FormDesign design);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    // Makes the window and its controls, then runs FormCreate; a failure of FormCreate goes
    // to the general error report and the window exists with its design-time texts.
    void Create();

    HWND Handle() const { return handle_; }
    // Shown and not closed since; stays true while the program is minimised, when Windows
    // hides the form behind the task bar button.
    bool Showing() const { return handle_ != nullptr && showing_; }
    HFONT Font() const { return font_.Handle(); }
    const FontSpec& FontDesign() const { return design_.font; }
    // The DPI that the form is laid out for; its controls and drawings are designed at 96.
    int Dpi() const { return dpi_; }
    int Scale(int design) const { return ScaleToDpi(design, dpi_); }
    // The client area's size in design pixels (at 96 DPI), whatever the display's DPI.
    SIZE DesignClientSize() const;
    // The client area is now design_height tall (a form whose rows grow); where that is more
    // than its display's work area holds, the form shows what fits and scrolls vertically.
    void SetDesignClientHeight(int design_height);
    // How far the client area is scrolled down, in the display's pixels.
    int ScrolledBy() const { return scroll_y_; }
    COLORREF Colour() const { return colour_; }
    HBRUSH Brush() const { return brush_; }

    void Show();
    // Returns when the form has been closed. A close asked for while a handler of this form
    // runs its own message loop takes effect once that handler has returned.
    void ShowModal();
    // Asks the form to close, as the title bar's close box does.
    void Close();
    // A modal form has agreed to close; its loop ends once the running handler has returned.
    bool CloseRequested() const { return close_requested_; }

    // The session is ending: runs FormEndSession, reporting a failure.
    void SessionEnding();

    // Called by the controls and timers themselves.
    void AddControl(TControl& control);
    void AddTimer(TTimer& timer);
    static TForm* FromHandle(HWND hwnd);
    bool DialogKeys() const { return design_.dialog_keys; }

protected:
    virtual void CreateControls() {}
    virtual void FormCreate() {}
    virtual void FormShow() {}
    virtual void FormCloseQuery(bool& can_close) { (void)can_close; }
    virtual void FormEndSession() {}
    virtual void FormPaint(HDC dc) { (void)dc; }
    virtual void FormKeyPress(char key) { (void)key; }
    virtual void MenuCommand(int id) { (void)id; }
    // A device arrived or left, as Windows tells every top-level window.
    virtual void FormDeviceChange() {}
    virtual int DefaultButtonId() const { return 0; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void RegisterClassOnce() const;
    RECT DesignedBounds() const;
    // The display's DPI has changed (or differs from the one the window was made for): the
    // fonts and every control are made again from the design, the window takes bounds.
    void ChangeDpi(int dpi, const RECT& bounds);
    void FitToWorkArea();
    void ScrollTo(int y);
    void Scrolled(int request);
    void HandleClose();
    void Hide();
    TControl* ControlOf(HWND hwnd) const;

    FormDesign design_;
    HWND handle_ = nullptr;
    int dpi_ = kDesignDpi;
    OwnedFont font_;
    COLORREF colour_;
    HBRUSH brush_;
    std::vector<TControl*> controls_;
    std::vector<TTimer*> timers_;
    bool showing_ = false;
    bool fits_work_area_ = false;  // SetDesignClientHeight was called: the form may scroll
    int scroll_y_ = 0;
    bool modal_ = false;
    bool close_requested_ = false;
};
