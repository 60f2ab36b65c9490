// q42pack: appends a firmware image, in its container, to the Windows program file, and
// shows what container a file holds. Runs at build time on the build machine.
//   q42pack PROGRAM IMAGE OUTPUT   write OUTPUT = PROGRAM + container of IMAGE
//   q42pack --show FILE            exit 0 if FILE holds a container whole, 1 if not, 2 on error
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "core/firmware_container.h"
#include "core/printable_text.h"
#include "core/q42_protocol.h"
#include "core/sha256.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitError = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "q42pack: %s\n", message.c_str());
    return kExitError;
}

// Reads the whole of a regular file; on failure says why in error.
bool ReadWholeFile(const std::string& path, const char* role, std::vector<uint8_t>& data, std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        error = std::string(role) + " '" + path + "' does not exist";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = std::string(role) + " '" + path + "' is not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    const uintmax_t size = fs::file_size(path, ec);
    if (in && !ec) {
        data.resize(static_cast<size_t>(size));
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
    }
    if (!in || ec || in.peek() != std::ifstream::traits_type::eof()) {
        error = "cannot read " + std::string(role) + " '" + path + "'";
        return false;
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);  // false, with ec set, while either does not exist
}

int Show(const std::string& path) {
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(path, "file", data, error)) return Fail(error);

    // The same load as the program's own, over what it would read back.
    auto store = std::make_unique<FirmwareStore>();
    const size_t kept = std::min(data.size(), kExeImageSize);
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(kept), store->ExeImage);
    const LoadResult result = store->ScanProgramFile(data.size());

    if (!result.found) {
        const long at = FindContainer(store->ExeImage, kept);
        if (result.damaged) {
            std::printf(
                "damaged firmware image at offset %ld: it does not match its SHA-256 (the program will "
                "not use it)\n",
                at);
        } else if (at >= 0) {
            std::printf("damaged firmware container at offset %ld (the program will not use it)\n", at);
        } else {
            std::printf("no firmware container\n");
        }
        return kExitNotFound;
    }
    const std::string version =
        result.length < kVersionFieldEnd ? "no version field" : "version " + PrintableText(store->ImageVersion());
    const std::string digest = result.has_digest
                                   ? "SHA-256 " + Sha256Hex(store->FirmwareImage, static_cast<size_t>(result.length))
                                   : "no SHA-256 (packed before containers carried one)";
    std::printf("container: %ld bytes, %s, %s\n", static_cast<long>(result.length), version.c_str(), digest.c_str());
    return kExitFound;
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

int Pack(const std::string& program_path, const std::string& image_path, const std::string& output_path) {
    if (SameFile(output_path, program_path) || SameFile(output_path, image_path)) {
        return Fail("output '" + output_path + "' is one of the input files; name a new file");
    }

    std::vector<uint8_t> packed;
    std::vector<uint8_t> image;
    std::string error;
    if (!ReadWholeFile(program_path, "program file", packed, error)) return Fail(error);
    if (!ReadWholeFile(image_path, "image file", image, error)) return Fail(error);

    if (image.empty()) return Fail("image file '" + image_path + "' is empty");
    if (image.size() >= kFirmwareImageSize) {
        return Fail("image file '" + image_path + "' is " + std::to_string(image.size()) +
                    " bytes; a Q42 image must be smaller than " + std::to_string(kFirmwareImageSize) + " bytes");
    }
    const size_t program_size = packed.size();
    AppendContainer(packed, image.data(), image.size());

    // The program takes the first marker in its file, so any copy in the program, also
    // one in its last bytes, would hide the new container.
    const long found = FindContainer(packed.data(), packed.size());
    if (found != static_cast<long>(program_size)) {
        return Fail("program file '" + program_path + "' already holds a firmware container or its marker (offset " +
                    std::to_string(found) + ")");
    }
    if (packed.size() > kExeImageSize) {
        return Fail("the packed program would be " + std::to_string(packed.size()) +
                    " bytes; the program reads back at most " + std::to_string(kExeImageSize));
    }

    // Written beside the output and renamed over it, so a failed run leaves no half file.
    const fs::path output(output_path);
    fs::path temporary = output;
    temporary += ".q42pack-tmp";
    std::error_code ec;
    if (!WriteFile(temporary, packed)) {
        fs::remove(temporary, ec);
        return Fail("cannot write output '" + output_path + "'");
    }
    fs::permissions(temporary, fs::status(program_path, ec).permissions(), ec);
    fs::rename(temporary, output, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return Fail("cannot write output '" + output_path + "'");
    }
    std::printf("%s: %zu program bytes + container of %zu image bytes\n", output_path.c_str(), program_size,
                image.size());
    return kExitFound;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--show") return Show(args[1]);
    if (args.size() == 3 && args[0].rfind("--", 0) != 0) return Pack(args[0], args[1], args[2]);
    std::fprintf(stderr,
                 "usage: q42pack PROGRAM IMAGE OUTPUT   write OUTPUT as PROGRAM followed by "
                 "the container of IMAGE\n"
                 "       q42pack --show FILE            tell whether FILE holds a firmware "
                 "container\n");
    return kExitError;
}
