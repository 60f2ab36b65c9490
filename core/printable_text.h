// Names and versions read from a radio or an image, as a terminal can show them.
#pragma once

#include <string>

// Bytes outside printable ASCII become \xHH.
std::string PrintableText(const std::string& text);
