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
#include <map>
#include <set>
#include <tuple>

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number N of /dev/pts/N, or -1 when the port is not a pseudo-terminal.
long PtyIndex(const std::string& resolved) {
    const size_t slash = resolved.rfind('/');
    if (slash == std::string::npos || slash < 4 || resolved.compare(slash - 4, 5, "/pts/") != 0) return -1;
    const std::string number = resolved.substr(slash + 1);
    return AllDigits(number) ? std::strtol(number.c_str(), nullptr, 10) : -1;
}

// A device is the same one when it has the same device number, whichever node opened it.
using FileKey = std::tuple<bool, dev_t, ino_t>;
FileKey KeyOf(const struct stat& st) {
    if (S_ISCHR(st.st_mode)) return FileKey{true, st.st_rdev, 0};
    return FileKey{false, st.st_dev, st.st_ino};
}

constexpr long kEveryMaster = -2;

// The pseudo-terminal whose master side the open file fd of a process is: its index, -1 when
// it is none, or kEveryMaster from a kernel that does not say which terminal a master
// belongs to (before Linux 4.20), so that the radio's own end is never taken for a competitor.
long MasterOf(const std::string& process, const std::string& fd) {
    char target[PATH_MAX];
    const ssize_t n = readlink((process + "/fd/" + fd).c_str(), target, sizeof target - 1);
    if (n <= 0) return -1;
    target[n] = '\0';
    if (LastPart(target) != "ptmx") return -1;
    std::ifstream info(process + "/fdinfo/" + fd);
    std::string field;
    while (info >> field) {
        if (field != "tty-index:") continue;
        long value = -1;
        info >> value;
        return value;
    }
    return kEveryMaster;
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

// The devices looked for, by what identifies each: a port may be named twice, by two names.
struct Wanted {
    std::map<FileKey, std::vector<size_t>> by_file;
    std::map<long, std::vector<size_t>> by_pty;
};

void ScanOpenFiles(const Wanted& wanted, const HolderRoots& roots, pid_t self, std::vector<PortHolders>& found) {
    if (wanted.by_file.empty()) return;
    const UniqueDir proc(opendir(roots.proc.c_str()));
    if (!proc.Valid()) {
        for (PortHolders& one : found) one.processes_visible = false;
        return;
    }
    int hidden_processes = 0;
    while (const dirent* entry = readdir(proc.Get())) {
        const std::string pid_text = entry->d_name;
        if (!AllDigits(pid_text)) continue;
        const pid_t pid = static_cast<pid_t>(std::strtol(pid_text.c_str(), nullptr, 10));
        if (pid == self) continue;
        const std::string process = roots.proc + "/" + pid_text;
        const UniqueDir fds(opendir((process + "/fd").c_str()));
        if (!fds.Valid()) {
            // A process that has just ended is no holder; one this user may not look into may be.
            if (errno == EACCES || errno == EPERM) ++hidden_processes;
            continue;
        }
        std::set<size_t> holds;
        while (const dirent* fd_entry = readdir(fds.Get())) {
            const std::string fd = fd_entry->d_name;
            struct stat open_file {};
            if (!AllDigits(fd) || stat((process + "/fd/" + fd).c_str(), &open_file) != 0) continue;
            const auto same = wanted.by_file.find(KeyOf(open_file));
            if (same != wanted.by_file.end()) holds.insert(same->second.begin(), same->second.end());
        }
        if (holds.empty()) continue;
        std::set<long> masters;
        if (!wanted.by_pty.empty()) {
            rewinddir(fds.Get());
            while (const dirent* fd_entry = readdir(fds.Get())) {
                if (AllDigits(fd_entry->d_name)) masters.insert(MasterOf(process, fd_entry->d_name));
            }
        }
        const std::string program = ProgramName(roots.proc, pid);
        for (const auto& pty : wanted.by_pty) {
            if (masters.count(pty.first) == 0 && masters.count(kEveryMaster) == 0) continue;
            for (const size_t device : pty.second) holds.erase(device);
        }
        for (const size_t device : holds) found[device].holders.push_back(PortHolder{pid, program, ""});
    }
    for (PortHolders& one : found) {
        one.hidden_processes = hidden_processes;
        std::sort(one.holders.begin(), one.holders.end(),
                  [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    }
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

std::vector<PortHolders> FindPortHolders(const std::vector<std::string>& devices, const HolderRoots& roots,
                                         pid_t self) {
    Wanted wanted;
    for (size_t i = 0; i < devices.size(); ++i) {
        struct stat st {};
        if (stat(devices[i].c_str(), &st) != 0) continue;
        wanted.by_file[KeyOf(st)].push_back(i);
        char resolved[PATH_MAX];
        const long pty = realpath(devices[i].c_str(), resolved) != nullptr ? PtyIndex(resolved) : -1;
        if (pty >= 0) wanted.by_pty[pty].push_back(i);
    }
    std::vector<PortHolders> found(devices.size());
    ScanOpenFiles(wanted, roots, self, found);
    for (size_t i = 0; i < devices.size(); ++i) ScanLockFiles(devices[i], roots, self, found[i]);
    return found;
}

std::string DescribeHolder(const PortHolder& holder) {
    const std::string program = holder.program.empty() ? "a program" : holder.program;
    const std::string pid = "pid " + std::to_string(holder.pid);
    return program + " (" + pid + (holder.lock_file.empty() ? "" : ", " + holder.lock_file) + ")";
}
