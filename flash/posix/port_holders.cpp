// Finds the other holders of a port from /proc's open-file links and the UUCP lock files.
#include "flash/posix/port_holders.h"

#include "flash/posix/path_text.h"
#include "flash/posix/posix_handles.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A device is the same one when it has the same device number, whichever node opened it.
bool SameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The number N of /dev/pts/N, or -1 when the port is not a pseudo-terminal.
long PtyIndex(const std::string& resolved) {
    const size_t slash = resolved.rfind('/');
    if (slash == std::string::npos || slash < 4 || resolved.compare(slash - 4, 5, "/pts/") != 0) return -1;
    const std::string number = resolved.substr(slash + 1);
    return AllDigits(number) ? std::strtol(number.c_str(), nullptr, 10) : -1;
}

// Whether the open file fd of a process is the master side of pseudo-terminal index. A
// kernel that does not say which terminal a master belongs to (before Linux 4.20) makes every
// master count, so that the radio's own end is never taken for a competitor.
bool IsMasterOf(const std::string& process, const std::string& fd, long index) {
    char target[PATH_MAX];
    const ssize_t n = readlink((process + "/fd/" + fd).c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = '\0';
    if (LastPart(target) != "ptmx") return false;
    std::ifstream info(process + "/fdinfo/" + fd);
    std::string field;
    while (info >> field) {
        if (field != "tty-index:") continue;
        long value = -1;
        info >> value;
        return value == index;
    }
    return true;
}

std::string ProgramName(const std::string& proc, pid_t pid) {
    return FirstLine(proc + "/" + std::to_string(pid) + "/comm");
}

// The process id a lock file holds: ten ASCII digits (HDB) or, from old programs, a binary int.
pid_t LockPid(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string trimmed = content;
    trimmed.erase(0, std::min(trimmed.find_first_not_of(" \t"), trimmed.size()));
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
    if (AllDigits(trimmed) && trimmed.size() <= 10)
        return static_cast<pid_t>(std::strtol(trimmed.c_str(), nullptr, 10));
    if (content.size() == sizeof(int)) {
        int binary = 0;
        std::memcpy(&binary, content.data(), sizeof binary);
        return binary;
    }
    return 0;
}

void ScanOpenFiles(const std::string& device, const HolderRoots& roots, pid_t self, PortHolders& found) {
    struct stat wanted {};
    if (stat(device.c_str(), &wanted) != 0) return;
    char resolved[PATH_MAX];
    const long pty = realpath(device.c_str(), resolved) != nullptr ? PtyIndex(resolved) : -1;

    const UniqueDir proc(opendir(roots.proc.c_str()));
    if (!proc.Valid()) {
        found.processes_visible = false;
        return;
    }
    while (const dirent* entry = readdir(proc.Get())) {
        const std::string pid_text = entry->d_name;
        if (!AllDigits(pid_text)) continue;
        const pid_t pid = static_cast<pid_t>(std::strtol(pid_text.c_str(), nullptr, 10));
        if (pid == self) continue;
        const std::string process = roots.proc + "/" + pid_text;
        const UniqueDir fds(opendir((process + "/fd").c_str()));
        if (!fds.Valid()) {
            // A process that has just ended is no holder; one this user may not look into may be.
            if (errno == EACCES || errno == EPERM) ++found.hidden_processes;
            continue;
        }
        bool holds = false;
        bool device_side = false;
        while (const dirent* fd_entry = readdir(fds.Get())) {
            const std::string fd = fd_entry->d_name;
            if (!AllDigits(fd)) continue;
            struct stat open_file {};
            if (stat((process + "/fd/" + fd).c_str(), &open_file) == 0 && SameFile(open_file, wanted)) holds = true;
            if (pty >= 0 && IsMasterOf(process, fd, pty)) device_side = true;
        }
        if (holds && !device_side) found.holders.push_back(PortHolder{pid, ProgramName(roots.proc, pid), ""});
    }
    std::sort(found.holders.begin(), found.holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
}

bool Alive(pid_t pid, const HolderRoots& roots, bool processes_visible) {
    if (processes_visible) return access((roots.proc + "/" + std::to_string(pid)).c_str(), F_OK) == 0;
    return kill(pid, 0) == 0 || errno == EPERM;
}

void ScanLockFiles(const std::string& device, const HolderRoots& roots, pid_t self, PortHolders& found) {
    // Programs name the lock after the device as they were told it, so both names count.
    std::vector<std::string> names = {LastPart(device)};
    char resolved[PATH_MAX];
    if (realpath(device.c_str(), resolved) != nullptr && LastPart(resolved) != names[0])
        names.push_back(LastPart(resolved));
    for (const std::string& name : names) {
        const std::string lock = roots.lock_dir + "/LCK.." + name;
        if (access(lock.c_str(), F_OK) != 0) continue;
        const pid_t pid = LockPid(lock);
        if (pid <= 0) {
            found.unreadable_lock = lock;
            continue;
        }
        // A lock left by a program that has ended is stale: every program ignores those.
        if (pid == self || !Alive(pid, roots, found.processes_visible)) continue;
        const bool known = std::any_of(found.holders.begin(), found.holders.end(),
                                       [pid](const PortHolder& holder) { return holder.pid == pid; });
        if (!known) found.holders.push_back(PortHolder{pid, ProgramName(roots.proc, pid), lock});
    }
}

}  // namespace

PortHolders FindPortHolders(const std::string& device, const HolderRoots& roots, pid_t self) {
    PortHolders found;
    ScanOpenFiles(device, roots, self, found);
    ScanLockFiles(device, roots, self, found);
    return found;
}

std::string DescribeHolder(const PortHolder& holder) {
    const std::string program = holder.program.empty() ? "a program" : holder.program;
    const std::string pid = "pid " + std::to_string(holder.pid);
    return program + " (" + pid + (holder.lock_file.empty() ? "" : ", " + holder.lock_file) + ")";
}
