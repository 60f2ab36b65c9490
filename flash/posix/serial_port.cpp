// Opening, setting up and restoring the radio's serial port; reads and writes that never
// wait for the radio, only (bounded) for room in the port's queue.
#include "flash/posix/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <map>

#include "core/q42_protocol.h"

namespace {

// The descriptor of each open port, found by the port itself: the wait is handed ports as the
// run knows them.
std::map<const SerialPort*, int> g_descriptors;

// How long a write may find the port's queue full before the rest is given up.
constexpr long kWriteStallSeconds = 1;

std::string Reason(int error) { return std::strerror(error); }

PortOpenResult Refuse(PortOpenResult result, std::string& error, const std::string& text) {
    error = text;
    return result;
}

// The radio's link in termios' terms, which name each speed and character size.
constexpr speed_t kLinkSpeed = kLinkBaudRate == 9600    ? B9600
                               : kLinkBaudRate == 19200 ? B19200
                               : kLinkBaudRate == 38400 ? B38400
                                                        : B0;
static_assert(kLinkSpeed != B0, "the link's rate has no termios speed here");
constexpr tcflag_t kLinkSize = kLinkDataBits == 8 ? CS8 : kLinkDataBits == 7 ? CS7 : kLinkDataBits == 6 ? CS6 : CS5;
constexpr tcflag_t kLinkFrame = kLinkSize | (kLinkStopBits == 2 ? CSTOPB : 0) |
                                (kLinkParity == LinkParity::None  ? 0
                                 : kLinkParity == LinkParity::Odd ? PARENB | PARODD
                                                                  : PARENB);
constexpr tcflag_t kFrameBits = CSIZE | CSTOPB | PARENB | PARODD;

bool IsRawLink(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    return cfgetospeed(&t) == kLinkSpeed && (cfgetispeed(&t) == kLinkSpeed || cfgetispeed(&t) == 0) &&
           (t.c_cflag & (kFrameBits | CRTSCTS)) == kLinkFrame && (t.c_iflag & (IXON | IXOFF)) == 0;
}

}  // namespace

PortOpenResult PosixSerialPort::Open(const std::string& device, std::string& error, const PortVetting& may_take) {
    Close();
    // O_NONBLOCK also keeps the open from waiting for a carrier that a three-wire cable lacks.
    fd_.Reset(open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.Valid()) {
        const int e = errno;
        switch (e) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return Refuse(PortOpenResult::Missing, error,
                          "there is no port " + device + " (" + Reason(e) + "): is the converter plugged in?");
        case EACCES:
        case EPERM:
#ifdef __linux__
            return Refuse(PortOpenResult::NoPermission, error,
                          "no permission to open " + device + " (" + Reason(e) +
                              "): add yourself to the dialout group (sudo usermod -aG dialout "
                              "$USER) and log in again");
#else
            return Refuse(PortOpenResult::NoPermission, error,
                          "no permission to open " + device + " (" + Reason(e) + ")");
#endif
        case EBUSY:
            return Refuse(PortOpenResult::Busy, error, device + " is in use by another program (" + Reason(e) + ")");
        case EISDIR:
            return Refuse(PortOpenResult::NotTerminal, error, device + " is not a serial port (" + Reason(e) + ")");
        default:
            return Refuse(PortOpenResult::Failed, error, "cannot open " + device + " (" + Reason(e) + ")");
        }
    }

    PortOpenResult result = PortOpenResult::Opened;
    const int fd = fd_.Get();
    if (!isatty(fd)) {
        result = Refuse(PortOpenResult::NotTerminal, error, device + " is not a serial port (" + Reason(errno) + ")");
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        result = Refuse(PortOpenResult::Busy, error,
                        device + " is in use by another q42flash (" + Reason(EWOULDBLOCK) + ")");
    } else {
#ifdef TIOCGEXCL
        // Another program holds it exclusively; only a superuser gets this far.
        int exclusive = 0;
        if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
            result =
                Refuse(PortOpenResult::Busy, error, device + " is in use by another program (" + Reason(EBUSY) + ")");
        }
#endif
    }
    if (result == PortOpenResult::Opened && may_take && !may_take(error)) result = PortOpenResult::Busy;
    if (result != PortOpenResult::Opened) {
        Close();
        return result;
    }
    exclusive_set_ = ioctl(fd, TIOCEXCL) == 0;

    if (tcgetattr(fd, &saved_) != 0) {
        const int e = errno;
        Close();
        return Refuse(PortOpenResult::Failed, error, "cannot read the settings of " + device + " (" + Reason(e) + ")");
    }
    termios raw = saved_;
    cfmakeraw(&raw);
    raw.c_cflag &= ~static_cast<tcflag_t>(kFrameBits | CRTSCTS);
    raw.c_cflag |= kLinkFrame | CLOCAL | CREAD;
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    cfsetispeed(&raw, kLinkSpeed);
    cfsetospeed(&raw, kLinkSpeed);
    // A call that fails may still have applied part of the settings: put them back either way.
    settings_changed_ = true;
    if (tcsetattr(fd, TCSANOW, &raw) != 0 || !IsRawLink(fd)) {
        const int e = errno;
        Close();
        return Refuse(PortOpenResult::Failed, error,
                      "cannot set " + device + " to " + LinkSettingsWords() + " (" + Reason(e) + ")");
    }
    // What came before q42flash listened is stale: a greeting in it was for a bootloader that
    // has stopped waiting for its answer, and answering it would swallow the next one.
    tcflush(fd, TCIFLUSH);
    g_descriptors[this] = fd;
    return PortOpenResult::Opened;
}

int PortDescriptor(const SerialPort* port) {
    const auto found = g_descriptors.find(port);
    return found == g_descriptors.end() ? -1 : found->second;
}

void PosixSerialPort::Close() {
    if (!fd_.Valid()) return;
    g_descriptors.erase(this);
    if (settings_changed_) tcsetattr(fd_.Get(), TCSADRAIN, &saved_);
    if (exclusive_set_) ioctl(fd_.Get(), TIOCNXCL);
    fd_.Reset();  // also releases the lock
    settings_changed_ = false;
    exclusive_set_ = false;
}

long PosixSerialPort::Read(uint8_t* buffer, size_t capacity) {
    const ssize_t n = read(fd_.Get(), buffer, capacity);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    // End of file or EIO on a terminal: the line has hung up.
    return -1;
}

bool PosixSerialPort::Write(const uint8_t* data, size_t count) {
    const int fd = fd_.Get();
    size_t done = 0;
    while (done < count) {
        const ssize_t n = write(fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(fd, &writable);
        timeval limit{kWriteStallSeconds, 0};
        const int ready = select(fd + 1, nullptr, &writable, nullptr, &limit);
        if (ready == 0) return false;
        if (ready < 0 && errno != EINTR) return false;
    }
    return true;
}
