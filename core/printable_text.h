// Names and versions read from a radio or an image, as a terminal can show them.
#pragma once

#include <cstddef>
#include <string>

// Bytes outside printable ASCII become \xHH.
std::string PrintableText(const std::string& text);

// What a person named (a bench position, a label): well-formed UTF-8 kept as written, in any
// script; a control character or a byte that is not UTF-8 becomes \xHH as above.
std::string PersonsText(const std::string& raw);
// The characters of UTF-8 text, as a table's columns count them.
size_t TextColumns(const std::string& utf8);
