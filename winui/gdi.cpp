// GDI objects of the window layer.
#include "winui/gdi.h"

#include "winui/dpi.h"

#include <stdexcept>
#include <string>

OwnedFont::OwnedFont(const FontSpec& design, int dpi)
    : handle_(CreateFontA(-ScaleToDpi(design.height, dpi), 0, 0, 0, design.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                          FALSE, design.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          design.pitch_and_family, design.face)) {
    if (!handle_.Valid()) throw std::runtime_error(std::string("Cannot create the font ") + design.face);
}

OwnedPen::OwnedPen(COLORREF colour) : handle_(CreatePen(PS_SOLID, 1, colour)) {
    if (!handle_.Valid()) throw std::runtime_error("Cannot create a pen");
}
