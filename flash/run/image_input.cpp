// Reading the image files whole, with the limits the radio's flash sets.
#include "flash/run/image_input.h"

#include <algorithm>

#include "core/q42_protocol.h"
#include "core/update_lines.h"
#include "flash/run/platform.h"

namespace {

// Every Windows program file begins so; a firmware image never does.
bool IsProgramFile(const uint8_t* bytes, size_t size) { return size >= 2 && bytes[0] == 'M' && bytes[1] == 'Z'; }

}  // namespace

ImageInput LoadPlainImage(const std::string& path, FirmwareStore& store) {
    ImageInput input;
    size_t size = 0;
    if (!ReadFileStart(path, store.FirmwareImage, kFirmwareImageSize, size, input.error)) return input;
    if (IsProgramFile(store.FirmwareImage, size)) {
        input.error = path + " is a program file, not a plain image: give it with --from";
        return input;
    }
    if (size == 0 || size >= kFirmwareImageSize) {
        input.error = size == 0 ? path + " is empty"
                                : path + " is " + std::to_string(size) + " bytes; a Q42 image must be smaller than " +
                                      std::to_string(kFirmwareImageSize) + " bytes";
        return input;
    }
    std::fill(store.FirmwareImage + size, store.FirmwareImage + kFirmwareImageSize, kFillerByte);
    input.outcome = ImageInput::Outcome::Loaded;
    input.length = static_cast<int32_t>(size);
    return input;
}

ImageInput LoadProgramImage(const std::string& path, FirmwareStore& store) {
    ImageInput input;
    size_t size = 0;
    if (!ReadFileStart(path, store.ExeImage, kExeImageSize, size, input.error)) return input;
    const LoadResult loaded = store.ScanProgramFile(size);
    if (loaded.damaged) {
        input.outcome = ImageInput::Outcome::Damaged;
        return input;
    }
    if (!loaded.found) {
        input.error = IsProgramFile(store.ExeImage, size)
                          ? path + " holds no firmware image (" + kCannotLocateCode + ")"
                          : path + " is not a program file: a plain image is given with --image";
        return input;
    }
    if (loaded.length == 0) {
        input.error = "the firmware container in " + path + " holds no image";
        return input;
    }
    input.outcome = ImageInput::Outcome::Loaded;
    input.length = loaded.length;
    return input;
}
