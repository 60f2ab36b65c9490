// Compares the image's application name with the radio's.
#include "core/image_fit.h"

#include "core/q42_protocol.h"

bool ImageName(const uint8_t* image, int32_t length, std::string* name) {
    if (length < kNameField + 1 + kNameLength || image[kNameField] != kNameLength) return false;
    const std::string found(reinterpret_cast<const char*>(image + kNameField + 1), kNameLength);
    for (const char c : found) {
        // The radio shows its name as text; anything else there is not a name.
        if (c < 0x20 || c > 0x7E) return false;
    }
    if (name != nullptr) *name = found;
    return true;
}

ImageFit JudgeImage(const uint8_t* image, int32_t length, const DeviceHeader& radio, std::string& image_name) {
    image_name.clear();
    if (!ImageName(image, length, &image_name)) return ImageFit::NoName;
    if (radio.has_name && radio.name != image_name) return ImageFit::OtherApplication;
    return ImageFit::Fits;
}
