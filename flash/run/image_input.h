// The firmware q42flash writes: a plain image file, or the container inside a packed
// program file, found and descrambled as the Windows program does it.
#pragma once

#include <cstdint>
#include <string>

#include "core/firmware_container.h"

struct ImageInput {
    enum class Outcome { Loaded, Unreadable, Damaged };
    Outcome outcome = Outcome::Unreadable;
    int32_t length = 0;  // N when Loaded
    std::string error;   // why, when Unreadable
};

// Fills store.FirmwareImage with 0xFF and the image: 1 to 262,143 bytes, or Unreadable (a
// program file among them, which belongs to --from).
ImageInput LoadPlainImage(const std::string& path, FirmwareStore& store);

// Reads the program file into store.ExeImage and loads its container. A container without
// a byte of image is refused: writing it would report a completed update of nothing; so is
// one whose image does not match its digest (Damaged).
ImageInput LoadProgramImage(const std::string& path, FirmwareStore& store);
