// Reading the image files whole, with the limits the radio's flash sets.
#include "flash/image_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/q42_protocol.h"

namespace {

// Every Windows program file begins so; a firmware image never does.
bool IsProgramFile(const uint8_t* bytes, size_t size) { return size >= 2 && bytes[0] == 'M' && bytes[1] == 'Z'; }

// Opens a regular file; on failure says why in error and returns -1. Without O_NONBLOCK a
// FIFO with no writer would hold the open for ever; on a regular file the flag does nothing.
int OpenFile(const std::string& path, size_t& size, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + path + " (" + std::strerror(errno) + ")";
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + " is not a file (a pipe, terminal or device cannot hold an image)";
        close(fd);
        return -1;
    }
    size = static_cast<size_t>(st.st_size);
    return fd;
}

// Reads count bytes; closes fd either way.
bool ReadAll(int fd, uint8_t* buffer, size_t count, const std::string& path, std::string& error) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = read(fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error =
                "cannot read " + path + (n < 0 ? " (" + std::string(std::strerror(errno)) + ")" : " (it got shorter)");
            close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return true;
}

}  // namespace

ImageInput LoadPlainImage(const std::string& path, FirmwareStore& store) {
    ImageInput input;
    size_t size = 0;
    const int fd = OpenFile(path, size, input.error);
    if (fd < 0) return input;
    uint8_t start[2] = {};
    if (pread(fd, start, sizeof start, 0) == static_cast<ssize_t>(sizeof start) && IsProgramFile(start, sizeof start)) {
        input.error = path + " is a program file, not a plain image: give it with --from";
        close(fd);
        return input;
    }
    if (size == 0 || size >= kFirmwareImageSize) {
        input.error = size == 0 ? path + " is empty"
                                : path + " is " + std::to_string(size) + " bytes; a Q42 image must be smaller than " +
                                      std::to_string(kFirmwareImageSize) + " bytes";
        close(fd);
        return input;
    }
    std::fill(store.FirmwareImage, store.FirmwareImage + kFirmwareImageSize, uint8_t{0xFF});
    if (!ReadAll(fd, store.FirmwareImage, size, path, input.error)) return input;
    input.outcome = ImageInput::Outcome::Loaded;
    input.length = static_cast<int32_t>(size);
    return input;
}

ImageInput LoadProgramImage(const std::string& path, FirmwareStore& store) {
    ImageInput input;
    size_t size = 0;
    const int fd = OpenFile(path, size, input.error);
    if (fd < 0) return input;
    if (!ReadAll(fd, store.ExeImage, std::min(size, kExeImageSize), path, input.error)) return input;
    const LoadResult loaded = store.ScanProgramFile(size);
    if (!loaded.found) {
        input.outcome = ImageInput::Outcome::NoContainer;
        if (!IsProgramFile(store.ExeImage, size))
            input.error = path + " is not a program file: a plain image is given with --image";
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

bool IsBlankBlock(const FirmwareStore& store, int32_t i) {
    const uint8_t* block = store.FirmwareImage + kBlockSize * i;
    return std::all_of(block, block + kBlockSize, [](uint8_t b) { return b == 0xFF; });
}
