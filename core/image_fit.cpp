// Compares the image's application name with the radio's.
#include "core/image_fit.h"

#include "core/q42_protocol.h"

ImageFit JudgeImage(const uint8_t* image, int32_t length, const DeviceHeader& radio, std::string& image_name) {
    image_name.clear();
    if (length < kNameField + 1 + kNameLength || image[kNameField] != kNameLength) return ImageFit::NoName;
    const std::string name(reinterpret_cast<const char*>(image + kNameField + 1), kNameLength);
    for (const char c : name) {
        // The radio shows its name as text; anything else there is not a name.
        if (c < 0x20 || c > 0x7E) return ImageFit::NoName;
    }
    image_name = name;
    if (radio.has_name && radio.name != name) return ImageFit::OtherApplication;
    return ImageFit::Fits;
}
