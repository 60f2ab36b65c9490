// Client-area capture: BitBlt from the screen DC at the client rectangle into a DIB,
// then written as a bottom-up 24-bit BMP.
#include "uidriver/screen_capture.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc() {
        if (dc) ReleaseDC(nullptr, dc);
    }
};

struct MemoryDc {
    HDC dc;
    explicit MemoryDc(HDC like) : dc(CreateCompatibleDC(like)) {}
    ~MemoryDc() {
        if (dc) DeleteDC(dc);
    }
};

struct Bitmap {
    HBITMAP bitmap;
    Bitmap(HDC like, int width, int height) : bitmap(CreateCompatibleBitmap(like, width, height)) {}
    ~Bitmap() {
        if (bitmap) DeleteObject(bitmap);
    }
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

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

    ScreenDc screen;
    MemoryDc memory(screen.dc);
    Bitmap bitmap(screen.dc, width, height);
    if (!screen.dc || !memory.dc || !bitmap.bitmap) {
        error = LastErrorText("Creating the capture bitmap");
        return false;
    }
    HGDIOBJ previous = SelectObject(memory.dc, bitmap.bitmap);
    const BOOL copied = BitBlt(memory.dc, 0, 0, width, height, screen.dc, origin.x, origin.y, SRCCOPY);
    SelectObject(memory.dc, previous);
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
    if (!GetDIBits(memory.dc, bitmap.bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                   DIB_RGB_COLORS)) {
        error = LastErrorText("GetDIBits");
        return false;
    }

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(&header, sizeof header, 1, file.get()) == 1 &&
                         std::fwrite(&info, sizeof info, 1, file.get()) == 1 &&
                         std::fwrite(pixels.data(), 1, pixels.size(), file.get()) == pixels.size();
    if (!written || std::fclose(file.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
