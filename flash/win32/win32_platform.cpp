// q42flash's platform on Windows: the functions of flash/run/platform.h on Win32.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <thread>

#include "flash/run/platform.h"
#include "flash/win32/port_names.h"
#include "flash/win32/serial_port.h"
#include "flash/win32/stop_requests.h"
#include "flash/win32/system_error.h"
#include "winports/owned_handle.h"
#include "winports/pc_name.h"
#include "winports/present_ports.h"
#include "winports/usb_devices.h"
#include "winports/wide_text.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

constexpr int kDefaultColumns = 80;

HANDLE StreamHandle(FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

// Standard input read by a thread of its own, a line at a time, so that a stop request can
// end the wait for a line: a console's or a pipe's read cannot be woken otherwise.
class InputReader {
public:
    void Start() {
        if (started_) return;
        started_ = true;
        std::thread([this] { ReadLines(); }).detach();
    }
    // Waits for a line or the end; false when a stop request came first.
    bool Take(std::string& line, bool& ended) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (!lines_.empty()) {
                line = std::move(lines_.front());
                lines_.pop_front();
                ended = false;
                return true;
            }
            if (ended_) {
                ended = true;
                return true;
            }
            if (StopRequests() > 0) return false;
            lock.unlock();
            const HANDLE waits[] = {arrived_.Get(), StopEvent()};
            WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            lock.lock();
        }
    }
    bool Prepare(std::string& error) {
        arrived_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (arrived_.Valid()) return true;
        error = "cannot read standard input (" + SystemErrorWords(GetLastError()) + ")";
        return false;
    }

private:
    void ReadLines() noexcept {
        try {
            const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
            DWORD mode = 0;
            // A console is read wide: its code page would turn a label's other characters
            // into "?". A file or a pipe gives its bytes, UTF-8.
            const bool console = GetConsoleMode(input, &mode) != FALSE;
            std::wstring line;
            for (;;) {
                wchar_t c = 0;
                DWORD n = 0;
                char byte = 0;
                const bool read = console ? ReadConsoleW(input, &c, 1, &n, nullptr) != FALSE
                                          : ReadFile(input, &byte, 1, &n, nullptr) != FALSE;
                if (!console) c = static_cast<unsigned char>(byte);
                // Ctrl-C ends a console's read with nothing: the input goes on.
                if ((!read && GetLastError() == ERROR_OPERATION_ABORTED) || (n == 0 && StopRequests() > 0)) continue;
                if (!read || n == 0) break;
                if (c == L'\r') continue;
                if (c != L'\n') {
                    line += c;
                    continue;
                }
                Deliver(line, console);
                line.clear();
            }
            if (!line.empty()) Deliver(line, console);
        } catch (...) {
        }
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        SetEvent(arrived_.Get());
    }
    // A console's line is UTF-16; a file's is bytes, one to each wide character.
    void Deliver(const std::wstring& line, bool console) {
        std::string text;
        if (console) {
            text = Utf8FromWide(line);
        } else {
            for (const wchar_t c : line) text += static_cast<char>(c);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(text);
        SetEvent(arrived_.Get());
    }

    bool started_ = false;
    OwnedHandle arrived_;
    std::mutex mutex_;
    std::deque<std::string> lines_;
    bool ended_ = false;
};

InputReader g_input;

class Win32AppendFile final : public AppendFile {
public:
    Win32AppendFile(OwnedHandle file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}

    bool Append(const std::string& line, std::string& error) override {
        // FILE_APPEND_DATA alone: each write lands whole at the end, even when two runs share
        // the file; one call for the line, so that no other line comes between its parts.
        DWORD written = 0;
        if (!WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            written != line.size()) {
            error = "cannot write the record " + path_ + " (" + SystemErrorWords(GetLastError()) + ")";
            return false;
        }
        if (!FlushFileBuffers(file_.Get())) {
            error = "cannot save the record " + path_ + " to the disk (" + SystemErrorWords(GetLastError()) + ")";
            return false;
        }
        return true;
    }

private:
    OwnedHandle file_;
    std::string path_;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& device, const PortVetting& may_take,
                                           PortOpenResult& result, std::string& error) {
    auto port = std::make_unique<Win32SerialPort>();
    result = port->Open(device, error, may_take);
    if (result != PortOpenResult::Opened) return nullptr;
    return port;
}

std::vector<PresentPort> PresentPorts() {
    std::vector<PresentPort> present;
    for (const ListedPort& port : ReadPresentPorts()) {
        present.push_back({"COM" + std::to_string(port.number), port.text});
    }
    return present;
}

std::string PortIdentity(const std::string& device) { return ComIdentity(device); }

std::string ShortPortName(const std::string& device) { return device; }

bool PortPresent(const std::string& device) {
    // A COM port's name stands in the DOS device table while its device is there; a USB
    // converter's goes when it is unplugged.
    wchar_t target[512];
    const std::wstring name = WideFromUtf8(ComIdentity(device));
    return QueryDosDeviceW(name.c_str(), target, static_cast<DWORD>(std::size(target))) != 0;
}

PortHolderSearch SearchPortHolders(const std::string&) {
    // Windows opens a serial port for one program only, and the open says so: no search.
    return PortHolderSearch{};
}

std::vector<PortHolderSearch> SearchPortHolders(const std::vector<std::string>& devices) {
    return std::vector<PortHolderSearch>(devices.size());
}

SerialSideSeen SeeSerialSide() {
    SerialSideSeen seen;
    for (const UsbDeviceAnswer& answer : ReadUsbDevices()) {
        ConverterSeen converter;
        if (ConverterFromAnswer(answer, converter)) seen.converters.push_back(converter);
    }
    // Windows opens a port for any user, and tells a busy one at the open.
    for (const PresentPort& port : PresentPorts()) seen.ports.push_back(PortSeen{port.device, "", true, "", false});
    return seen;
}

uint64_t MonotonicNs() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);  // never fails on Windows XP and later
        return static_cast<uint64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
    return ticks / frequency * 1'000'000'000u + ticks % frequency * 1'000'000'000u / frequency;
}

bool WaitForPorts(SerialPort* const* ports, size_t count, uint64_t until_ns) {
    SendEveryPort();
    DWORD wait_ms = 0;
    for (;;) {
        TakeCompletions(wait_ms);
        if (TakeWake()) return true;
        for (size_t i = 0; i < count; ++i) {
            if (PortHasNews(ports[i])) return false;
        }
        const uint64_t now = MonotonicNs();
        if (now >= until_ns) return false;
        // Never wake before the time is due.
        wait_ms = static_cast<DWORD>((until_ns - now + 999'999) / 1'000'000);
    }
}

bool PrepareToRun(std::string& error) {
    if (!PrepareCompletionPort(error) || !g_input.Prepare(error) || !PrepareStopRequests(error)) return false;
    // The link's 10 ms ticks, not the system's default 15.6 ms ones.
    timeBeginPeriod(1);
    return true;
}

std::string PortHelp() {
    return "Ports are named as Windows names them: COM3, COM23 (up to COM256). Finding the\n"
           "port: q42flash --list-ports before and after plugging the cable in; Windows keeps\n"
           "a USB converter's number while it stays in the same USB socket. A port that\n"
           "another program has open cannot be used until that program lets it go.\n"
           "Examples:  q42flash --port COM3 --image q42.bin\n"
           "           q42flash --port auto --all --record radios.jsonl --from Q42Update.exe\n";
}

std::string StopStatusHelp() {
    return "130 stopped with\n"
           "Ctrl-C or Ctrl-Break, 129 with the console closed or the session ended";
}

std::string ComputerName() { return PcName(); }

bool IsTerminal(FILE* stream) {
    const HANDLE handle = StreamHandle(stream);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return false;
    if (stream == stdin) return true;
    // Output redrawn in place needs the console's virtual-terminal sequences (Windows 10 and
    // later); Windows 7's console gets plain lines, as a file does.
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

void WriteText(FILE* stream, const std::string& text) {
    std::fflush(stream);
    const HANDLE handle = StreamHandle(stream);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) {
        std::fputs(text.c_str(), stream);
        std::fflush(stream);
        return;
    }
    // The console's own wide output: its code page would turn the rest into "?".
    const std::wstring wide = WideFromUtf8(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return kDefaultColumns;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : kDefaultColumns;
}

InputLine ReadInputLine(char* line, size_t capacity) {
    g_input.Start();
    std::string text;
    bool ended = false;
    if (!g_input.Take(text, ended)) return InputLine::Stopped;
    if (ended) return InputLine::Ended;
    const size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(line, text.data(), length);
    line[length] = '\0';
    return InputLine::Read;
}

bool ReadFileStart(const std::string& path, uint8_t* buffer, size_t capacity, size_t& size, std::string& error) {
    const OwnedHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD reason = GetLastError();
        // A folder opens only when asked for as one, so its refusal names no folder.
        const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        error = folder ? path + kIsFolder : "cannot open " + path + " (" + SystemErrorWords(reason) + ")";
        return false;
    }
    LARGE_INTEGER length{};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &length)) {
        error = path + " is not a file (a pipe, console or device cannot hold an image)";
        return false;
    }
    size = static_cast<size_t>(length.QuadPart);
    const size_t count = std::min(size, capacity);
    size_t done = 0;
    while (done < count) {
        DWORD n = 0;
        const bool read = ReadFile(file.Get(), buffer + done, static_cast<DWORD>(count - done), &n, nullptr) != FALSE;
        if (!read || n == 0) {
            const std::string reason = read ? "it got shorter" : SystemErrorWords(GetLastError());
            error = "cannot read " + path + " (" + reason + ")";
            return false;
        }
        done += n;
    }
    return true;
}

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string& error) {
    // Not shared for deleting: a record removed while it is written would keep nothing.
    OwnedHandle file(CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file.Valid()) {
        error = "cannot open the record " + path + " (" + SystemErrorWords(GetLastError()) + ")";
        return nullptr;
    }
    return std::make_unique<Win32AppendFile>(std::move(file), path);
}
