// GDI objects of the window layer.
#include "winui/gdi.h"

#include "winui/dpi.h"

#include <stdexcept>
#include <string>
#include <utility>

OwnedFont::OwnedFont(const FontSpec& design, int dpi) {
    handle_ = CreateFontA(-ScaleToDpi(design.height, dpi), 0, 0, 0, design.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                          FALSE, design.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          design.pitch_and_family, design.face);
    if (handle_ == nullptr) throw std::runtime_error(std::string("Cannot create the font ") + design.face);
}

OwnedFont::~OwnedFont() {
    if (handle_ != nullptr) DeleteObject(handle_);
}

OwnedFont::OwnedFont(OwnedFont&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

OwnedFont& OwnedFont::operator=(OwnedFont&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) DeleteObject(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

OwnedPen::OwnedPen(COLORREF colour) : handle_(CreatePen(PS_SOLID, 1, colour)) {
    if (handle_ == nullptr) throw std::runtime_error("Cannot create a pen");
}

OwnedPen::~OwnedPen() { DeleteObject(handle_); }
