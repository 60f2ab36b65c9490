// Whether an image is meant for the radio it is about to go into. The image carries the
// application's name where the radio's header does (offset 16: a length byte of 5 and five
// characters), so a text file or another application's image shows before it is written.
#pragma once

#include <cstdint>
#include <string>

#include "core/boot_link.h"

enum class ImageFit {
    Fits,              // the names agree, or the radio reports none (how a failed write is recovered)
    NoName,            // the image's name field holds no valid name: not a Q42 image
    OtherApplication,  // a valid name that differs from the radio's
};

// Whether the image's name field holds a valid name; name, when given, gets it.
bool ImageName(const uint8_t* image, int32_t length, std::string* name);

// image holds length bytes. image_name gets the image's name as a terminal can show it, or
// is left empty when it has none.
ImageFit JudgeImage(const uint8_t* image, int32_t length, const DeviceHeader& radio, std::string& image_name);
