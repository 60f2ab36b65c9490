// Opens the pseudo-terminal or serial device, and cleans up the symlink.
#include "sim/radio_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno) + " (error " + std::to_string(errno) + ")";
}

bool BaudConstant(uint32_t baud, speed_t& out) {
    static const struct {
        uint32_t rate;
        speed_t constant;
    } kRates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                  {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto& r : kRates) {
        if (r.rate == baud) {
            out = r.constant;
            return true;
        }
    }
    return false;
}

bool MakeRaw(int fd, speed_t speed, std::string& error) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = SystemError("cannot read the line settings");
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        error = SystemError("cannot set the line settings");
        return false;
    }
    return true;
}

}  // namespace

bool RadioPort::OpenPty(const std::string& link_path, std::string& error) {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = SystemError("cannot make a pseudo-terminal");
        return false;
    }
    const char* slave = nullptr;
    if (grantpt(fd_) != 0 || unlockpt(fd_) != 0 || (slave = ptsname(fd_)) == nullptr) {
        error = SystemError("cannot unlock the pseudo-terminal");
        Close();
        return false;
    }
    name_ = slave;
    needs_pacing_ = true;
    slave_fd_ = open(name_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_fd_ < 0) {
        error = SystemError("cannot open " + name_);
        Close();
        return false;
    }
    // The slave's default line discipline would echo and translate; a cable does neither.
    if (!MakeRaw(slave_fd_, B9600, error)) {
        Close();
        return false;
    }

    struct stat st {};
    if (lstat(link_path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = link_path + " exists and is not a symlink; not replacing it";
        Close();
        return false;
    }
    // Make the link under a temporary name and rename it over, so that a reader never sees
    // the path missing or pointing at a stale terminal.
    const std::string temp = link_path + ".q42sim-" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(name_.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link_path.c_str()) != 0) {
        error = SystemError("cannot make the symlink " + link_path);
        unlink(temp.c_str());
        Close();
        return false;
    }
    link_path_ = link_path;
    return true;
}

bool RadioPort::OpenDevice(const std::string& device, uint32_t baud, std::string& error) {
    speed_t speed = B9600;
    if (!BaudConstant(baud, speed)) {
        error = "a serial device runs at 1200 to 115200 baud, not " + std::to_string(baud);
        return false;
    }
    fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = SystemError("cannot open " + device);
        return false;
    }
    name_ = device;
    if (!MakeRaw(fd_, speed, error)) {
        Close();
        return false;
    }
    // Linux numbers the pseudo-terminals' slave sides 136 to 143.
    struct stat st {};
    needs_pacing_ = fstat(fd_, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
    return true;
}

void RadioPort::Close() {
    if (!link_path_.empty()) {
        char target[256];
        const ssize_t n = readlink(link_path_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == name_) {
            unlink(link_path_.c_str());
        }
        link_path_.clear();
    }
    if (slave_fd_ >= 0) close(slave_fd_);
    if (fd_ >= 0) close(fd_);
    slave_fd_ = -1;
    fd_ = -1;
    needs_pacing_ = false;
}
