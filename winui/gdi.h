// GDI objects of the window layer, each owned by one holder: device contexts, fonts (a face,
// a character height in pixels at 96 DPI - the cell height less the internal leading, as a
// negative LOGFONT height gives it -, weight and character set), 1-pixel pens and bitmaps.
// The device context holders and OwnedBitmap are header-only, for the UI driver too.
#pragma once

#include <windows.h>

#include "core/unique_handle.h"

// A window's device context (the screen's, for no window), released with its holder.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }
    bool Valid() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A device context of one's own (CreateCompatibleDC), deleted rather than released.
struct MemoryDCTraits {
    using Value = HDC;
    static Value Empty() { return nullptr; }
    static bool Valid(Value dc) { return dc != nullptr; }
    static bool Close(Value dc) { return DeleteDC(dc) != FALSE; }
};
using OwnedMemoryDC = UniqueHandle<MemoryDCTraits>;

template <typename Object>
struct GdiObjectTraits {
    using Value = Object;
    static Value Empty() { return nullptr; }
    static bool Valid(Value object) { return object != nullptr; }
    static bool Close(Value object) { return DeleteObject(object) != FALSE; }
};
using OwnedBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;

struct FontSpec {
    const char* face = "MS Sans Serif";
    int height = 11;
    bool bold = false;
    BYTE charset = DEFAULT_CHARSET;
    // Where the face is missing, the system picks another one of this pitch and family.
    BYTE pitch_and_family = DEFAULT_PITCH | FF_DONTCARE;
};

// Owns one GDI font.
class OwnedFont {
public:
    OwnedFont() = default;
    // The design's font at dpi: its character height scaled from 96 DPI.
    OwnedFont(const FontSpec& design, int dpi);

    HFONT Handle() const { return handle_.Get(); }

private:
    UniqueHandle<GdiObjectTraits<HFONT>> handle_;
};

// Owns one solid 1-pixel pen.
class OwnedPen {
public:
    explicit OwnedPen(COLORREF colour);

    HPEN Handle() const { return handle_.Get(); }

private:
    UniqueHandle<GdiObjectTraits<HPEN>> handle_;
};
