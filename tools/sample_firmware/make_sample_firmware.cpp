// Writes the sample firmware image to the file named on the command line.
#include <cstdio>
#include <fstream>

#include "tools/sample_firmware/sample_image.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_firmware OUTPUT\n");
        return 2;
    }
    const std::vector<uint8_t> image = MakeSampleImage();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_sample_firmware: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
