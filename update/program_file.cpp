// Reading the running program's file back from disk.
#include "update/program_file.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "winports/owned_handle.h"
#include "winports/wide_text.h"
#include "winui/application.h"

FirmwareStore ProgramFirmware;

namespace {

[[noreturn]] void RaiseFileError(const char* step, const std::wstring& path, DWORD error) {
    throw std::runtime_error(std::string("Cannot ") + step + " the program file " + Utf8FromWide(path) +
                             " (Error: " + std::to_string(error) + ")");
}

}  // namespace

size_t ReadProgramFile(const std::wstring& path, uint8_t* buffer, size_t capacity) {
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) RaiseFileError("open", path, GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) RaiseFileError("size", path, GetLastError());
    const size_t wanted = static_cast<size_t>(std::min<ULONGLONG>(static_cast<ULONGLONG>(size.QuadPart), capacity));
    size_t done = 0;
    while (done < wanted) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(wanted - done, size_t{1} << 30));
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer + done, piece, &got, nullptr)) RaiseFileError("read", path, GetLastError());
        if (got == 0) RaiseFileError("read", path, ERROR_HANDLE_EOF);
        done += got;
    }
    if (!file.Close()) RaiseFileError("close", path, GetLastError());
    return static_cast<size_t>(size.QuadPart);
}

LoadResult LoadFirmwareImage() {
    const size_t size = ReadProgramFile(ProgramFilePath(), ProgramFirmware.ExeImage, kExeImageSize);
    return ProgramFirmware.ScanProgramFile(size);
}
