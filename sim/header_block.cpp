// Builds the radio's application header from the command line or an image file.
#include "sim/header_block.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void PutShortString(uint8_t* field, size_t places, const std::string& text) {
    field[0] = static_cast<uint8_t>(text.size());
    std::memset(field + 1, ' ', places);
    std::memcpy(field + 1, text.data(), text.size() < places ? text.size() : places);
}

bool ReadImageStart(const std::string& path, uint8_t (&header)[kHeaderSize], std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open the image " + path + ": " + std::strerror(errno);
        return false;
    }
    const size_t n = std::fread(header, 1, kHeaderSize, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = "cannot read the image " + path;
        return false;
    }
    // An image shorter than the header leaves erased flash behind it.
    std::memset(header + n, 0xFF, kHeaderSize - n);
    return true;
}

}  // namespace

bool MakeHeader(const SimOptions& options, uint8_t (&header)[kHeaderSize], std::string& error) {
    if (!options.image_path.empty()) {
        if (!ReadImageStart(options.image_path, header, error)) return false;
    } else {
        std::memset(header, 0xFF, kHeaderSize);
        PutShortString(header + kNameOffset, kNamePlaces, options.name);
        PutShortString(header + kVersionOffset, kVersionPlaces, options.version);
    }
    if (options.name_length >= 0) header[kNameOffset] = static_cast<uint8_t>(options.name_length);
    if (options.version_length >= 0) {
        header[kVersionOffset] = static_cast<uint8_t>(options.version_length);
    }
    return true;
}
