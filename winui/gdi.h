// GDI objects of the window layer, each owned by one holder: fonts (a face, a character
// height in pixels at 96 DPI - the cell height less the internal leading, as a negative
// LOGFONT height gives it -, weight and character set) and 1-pixel pens.
#pragma once

#include <windows.h>

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
    ~OwnedFont();
    OwnedFont(const OwnedFont&) = delete;
    OwnedFont& operator=(const OwnedFont&) = delete;
    OwnedFont(OwnedFont&& other) noexcept;
    OwnedFont& operator=(OwnedFont&& other) noexcept;

    HFONT Handle() const { return handle_; }

private:
    HFONT handle_ = nullptr;
};

// Owns one solid 1-pixel pen.
class OwnedPen {
public:
    explicit OwnedPen(COLORREF colour);
    ~OwnedPen();
    OwnedPen(const OwnedPen&) = delete;
    OwnedPen& operator=(const OwnedPen&) = delete;

    HPEN Handle() const { return handle_; }

private:
    HPEN handle_;
};
