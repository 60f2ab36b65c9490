// Client-area capture: BitBlt from the screen DC at the client rectangle into a DIB,
// then written as a bottom-up 24-bit BMP.
#include "uidriver/screen_capture.h"

#include "winports/owned_handle.h"
#include "winports/wide_text.h"
#include "winui/gdi.h"

#include <vector>

namespace {

// Every byte handed over, or false.
bool WriteAll(HANDLE file, const void* bytes, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

std::string LastErrorText(const char* step) {
    return std::string(step) + " failed (Error: " + std::to_string(GetLastError()) + ")";
}

}  // namespace

bool SaveClientArea(HWND hwnd, const std::string& path, std::string& error) {
    RECT client;
    if (!GetClientRect(hwnd, &client)) {
        error = LastErrorText("GetClientRect");
        return false;
    }
    const int width = client.right;
    const int height = client.bottom;
    if (width <= 0 || height <= 0) {
        error = "the window has no client area";
        return false;
    }
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);

    const WindowDC screen(nullptr);
    const OwnedMemoryDC memory(CreateCompatibleDC(screen.Get()));
    const OwnedBitmap bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
    if (!screen.Valid() || !memory.Valid() || !bitmap.Valid()) {
        error = LastErrorText("Creating the capture bitmap");
        return false;
    }
    HGDIOBJ previous = SelectObject(memory.Get(), bitmap.Get());
    const BOOL copied = BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), origin.x, origin.y, SRCCOPY);
    SelectObject(memory.Get(), previous);
    if (!copied) {
        error = LastErrorText("BitBlt");
        return false;
    }

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // positive: rows stored bottom-up, as BMP files want them
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    if (!GetDIBits(memory.Get(), bitmap.Get(), 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                   DIB_RGB_COLORS)) {
        error = LastErrorText("GetDIBits");
        return false;
    }

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    OwnedHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        error = "cannot create " + path;
        return false;
    }
    const bool written = WriteAll(file.Get(), &header, sizeof header) && WriteAll(file.Get(), &info, sizeof info) &&
                         WriteAll(file.Get(), pixels.data(), static_cast<DWORD>(pixels.size()));
    if (!written || !file.Close()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
