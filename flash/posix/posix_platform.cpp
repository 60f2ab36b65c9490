// q42flash's platform on Linux and macOS: the functions of flash/run/platform.h on POSIX.
// Waits use select, not poll: macOS's poll does not take terminal devices.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "flash/posix/port_holders.h"
#include "flash/posix/port_list.h"
#include "flash/posix/posix_handles.h"
#include "flash/posix/serial_port.h"
#include "flash/posix/serial_side.h"
#include "flash/posix/stop_signal.h"
#include "flash/run/platform.h"
#include "flash/run/port_choice.h"

namespace {

constexpr int kDefaultColumns = 80;  // what a terminal that does not say its width has

std::string Reason() { return std::strerror(errno); }

class PosixAppendFile final : public AppendFile {
public:
    PosixAppendFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

    bool Append(const std::string& line, std::string& error) override {
        // O_APPEND: a whole line lands at the end even when two runs share the file.
        size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = write(fd_.Get(), line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = "cannot write the record " + path_ + " (" + Reason() + ")";
                return false;
            }
            done += static_cast<size_t>(n);
        }
        if (fsync(fd_.Get()) != 0 && errno != EINVAL) {
            error = "cannot save the record " + path_ + " to the disk (" + Reason() + ")";
            return false;
        }
        // A removed file takes every write and keeps none of it.
        struct stat st {};
        if (fstat(fd_.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0) {
            error = "the record " + path_ + " was removed, and with it what was written to it";
            return false;
        }
        return true;
    }

private:
    UniqueFd fd_;
    std::string path_;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& device, const PortVetting& may_take,
                                           PortOpenResult& result, std::string& error) {
    auto port = std::make_unique<PosixSerialPort>();
    bool refused_by_vetting = false;
    const PortVetting vetting = [&](std::string& why) {
        refused_by_vetting = may_take && !may_take(why);
        return !refused_by_vetting;
    };
    result = port->Open(device, error, vetting);
    if (result == PortOpenResult::Opened) return port;
    // Taken since the ports were looked over, or by a program /proc hid then: looked for again.
    if (result == PortOpenResult::Busy && !refused_by_vetting) {
        const std::string held = HeldByText(device, SearchPortHolders(device));
        if (!held.empty()) error = held;
    }
    // What stands in the way, where the check finds it, says more than the system's error.
    if (result == PortOpenResult::Missing || result == PortOpenResult::NoPermission) {
        const bool missing = result == PortOpenResult::Missing;
        const std::string cause = PortCause(SeeSerialSide(), missing ? device : PortIdentity(device), missing);
        if (!cause.empty()) error = cause;
    }
    return nullptr;
}

std::vector<PresentPort> PresentPorts() {
    std::vector<PresentPort> present;
    for (const SerialPortInfo& port : ListSerialPorts("/")) present.push_back({port.device, DescribePort(port)});
    return present;
}

std::string PortIdentity(const std::string& device) {
    char resolved[PATH_MAX];
    return realpath(device.c_str(), resolved) != nullptr ? resolved : device;
}

bool PortPresent(const std::string& device) { return access(device.c_str(), F_OK) == 0; }

std::string ShortPortName(const std::string& device) {
    if (device.rfind("/dev/serial/", 0) != 0) return device;
    const std::string resolved = PortIdentity(device);
    return resolved.substr(resolved.rfind('/') + 1);
}

SerialSideSeen SeeSerialSide() {
    CheckingUser user;
    user.uid = getuid();
    const int count = getgroups(0, nullptr);
    user.groups.resize(count > 0 ? static_cast<size_t>(count) : 0);
    if (count > 0 && getgroups(count, user.groups.data()) != count) user.groups.clear();
    user.groups.push_back(getgid());
    user.self = getpid();
    return SeeSerialSide("/", user);
}

std::vector<PortHolderSearch> SearchPortHolders(const std::vector<std::string>& devices) {
    std::vector<PortHolderSearch> searches;
    for (const PortHolders& found : FindPortHolders(devices, HolderRoots{}, getpid())) {
        PortHolderSearch search;
        for (const PortHolder& holder : found.holders) {
            search.held_by += (search.held_by.empty() ? "" : ", ") + DescribeHolder(holder);
        }
        search.processes_visible = found.processes_visible;
        search.hidden_processes = found.hidden_processes;
        search.unreadable_lock = found.unreadable_lock;
        searches.push_back(std::move(search));
    }
    return searches;
}

PortHolderSearch SearchPortHolders(const std::string& device) {
    return SearchPortHolders(std::vector<std::string>{device}).front();
}

uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

bool WaitForPorts(SerialPort* const* ports, size_t count, uint64_t until_ns) {
    const uint64_t now = MonotonicNs();
    if (now >= until_ns) return false;
    fd_set readable;
    FD_ZERO(&readable);
    const int wake = StopWakeFd();
    FD_SET(wake, &readable);
    int highest = wake;
    for (size_t i = 0; i < count; ++i) {
        const int fd = PortDescriptor(ports[i]);
        if (fd < 0) continue;
        FD_SET(fd, &readable);
        highest = std::max(highest, fd);
    }
    const uint64_t wait_us = (until_ns - now + 999) / 1000;  // never wake before the time is due
    timeval limit{static_cast<time_t>(wait_us / 1'000'000u), static_cast<suseconds_t>(wait_us % 1'000'000u)};
    if (select(highest + 1, &readable, nullptr, nullptr, &limit) <= 0 || !FD_ISSET(wake, &readable)) return false;
    ClearStopWake();
    return true;
}

bool PrepareToRun(std::string& error) {
    // Output cut short (q42flash ... | head) must not end the program in the middle of a write.
    std::signal(SIGPIPE, SIG_IGN);
    if (InstallStopSignals()) return true;
    error = "cannot set up Ctrl-C (" + Reason() + ")";
    return false;
}

std::string StopAgainHint() {
    switch (LastStopSignal()) {
    case SIGTERM:
        return "a second SIGTERM stops at once";
    case SIGHUP:
        // A hang-up never counts twice.
        return "Ctrl-C or SIGTERM stops at once";
    default:
        return "Ctrl-C again stops at once";
    }
}

// Linux and macOS end a session by signals, which the stop requests already are; a write
// keeps a system from sleeping only where the user's desktop is asked, which q42flash leaves.
void WritesUnderWay(int) {}

std::string PortHelp() {
    return "Finding the port: q42flash --list-ports before and after plugging the cable in;\n"
           "on Linux the names in /dev/serial/by-id/ stay the same whichever USB socket the\n"
           "converter is in. Opening the port needs membership of its group, dialout on most\n"
           "Linux systems: sudo usermod -aG dialout $USER, then log in again.\n";
}

std::string StopStatusHelp() {
    return "130 stopped with\n"
           "Ctrl-C (128 + the signal's number for SIGTERM and SIGHUP)";
}

void WriteText(FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

bool IsTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kDefaultColumns;
    return size.ws_col;
}

InputLine ReadInputLine(char* line, size_t capacity) {
    size_t length = 0;
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        FD_SET(StopWakeFd(), &readable);
        const int ready = select(std::max(STDIN_FILENO, StopWakeFd()) + 1, &readable, nullptr, nullptr, nullptr);
        if (StopRequests() > 0) return InputLine::Stopped;
        // An input that fails (a background job's, a closed one) is never retried.
        if (ready < 0 && errno != EINTR) return InputLine::Ended;
        if (ready <= 0 || !FD_ISSET(STDIN_FILENO, &readable)) continue;
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return InputLine::Ended;
        if (n == 0 || c == '\n') break;
        if (length + 1 < capacity) line[length++] = c;
    }
    line[length] = '\0';
    return InputLine::Read;
}

bool ReadFileStart(const std::string& path, uint8_t* buffer, size_t capacity, size_t& size, std::string& error) {
    // Without O_NONBLOCK a FIFO with no writer would hold the open for ever; on a regular
    // file the flag does nothing.
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        error = "cannot open " + path + " (" + Reason() + ")";
        return false;
    }
    struct stat st {};
    const bool status = fstat(fd.Get(), &st) == 0;
    if (status && S_ISDIR(st.st_mode)) {
        error = path + kIsFolder;
        return false;
    }
    if (!status || !S_ISREG(st.st_mode)) {
        error = path + " is not a file (a pipe, terminal or device cannot hold an image)";
        return false;
    }
    size = static_cast<size_t>(st.st_size);
    const size_t count = std::min(size, capacity);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = read(fd.Get(), buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot read " + path + (n < 0 ? " (" + Reason() + ")" : " (it got shorter)");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string& error) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd.Valid()) {
        error = "cannot open the record " + path + " (" + Reason() + ")";
        return nullptr;
    }
    return std::make_unique<PosixAppendFile>(std::move(fd), path);
}
