// Other programs that hold a serial port: a terminal program, ModemManager or a second tool
// that has it open reads the radio's greeting before q42flash can. Linux shows them in /proc
// (as far as this user may look) and by UUCP lock files; elsewhere they cannot be seen.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

struct PortHolder {
    pid_t pid = 0;
    std::string program;    // its command name, or "" when it cannot be read
    std::string lock_file;  // the lock file that names it; "" when it has the port open
};

struct PortHolders {
    std::vector<PortHolder> holders;
    bool processes_visible = true;  // false where there is no /proc to look in
    int hidden_processes = 0;       // processes whose open files this user may not see
    std::string unreadable_lock;    // a lock file for the port that names no process
};

struct HolderRoots {
    std::string proc = "/proc";
    std::string lock_dir = "/run/lock";
};

// Looks for the holders of each of devices (paths or symlinks to them), in one walk over the
// processes whatever their number, leaving out self and, on a pseudo-terminal, the processes
// that hold its master side: that is the device's own end (a simulated radio), not a
// competitor. One result for each device, in their order.
std::vector<PortHolders> FindPortHolders(const std::vector<std::string>& devices, const HolderRoots& roots, pid_t self);

// "cat (pid 4711)", "minicom (pid 4711, /run/lock/LCK..ttyUSB0)".
std::string DescribeHolder(const PortHolder& holder);
