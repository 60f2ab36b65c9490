// The other holders of a port, from a fake /proc and lock folder: who has it open, who locked
// it, and the pseudo-terminal's own end left out.
#include "flash/posix/port_holders.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstring>
#include <string>
#include <vector>

#include "fake_tree.h"

namespace {

constexpr pid_t kSelf = 300;

std::vector<std::string> Named(const PortHolders& found) {
    std::vector<std::string> names;
    for (const PortHolder& holder : found.holders) names.push_back(DescribeHolder(holder));
    return names;
}

class PortHoldersTest : public ::testing::Test {
protected:
    void Process(pid_t pid, const std::string& program) const {
        tree.File("proc/" + std::to_string(pid) + "/comm", program + "\n");
        tree.Folder("proc/" + std::to_string(pid) + "/fd");
    }
    // A process's open file: a link to the file, as /proc shows it.
    void Open(pid_t pid, int fd, const std::string& target) const {
        tree.Link("proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), target);
    }
    void Master(pid_t pid, int fd, const std::string& tty_index) const {
        Open(pid, fd, "/dev/ptmx");
        tree.File("proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd),
                  "pos:\t0\nflags:\t02\nmnt_id:\t24\nino:\t90\n" + tty_index);
    }
    // All the devices in one look, as q42flash looks over its ports.
    std::vector<PortHolders> Find(const std::vector<std::string>& devices) const {
        std::vector<std::string> paths;
        for (const std::string& device : devices) paths.push_back(tree.Path(device));
        return FindPortHolders(paths, HolderRoots{tree.Path("proc"), tree.Path("lock")}, kSelf);
    }

    FakeTree tree;
};

TEST_F(PortHoldersTest, OpenFilesAndLockFiles) {
    for (const char* device :
         {"dev/ttyUSB0", "dev/ttyUSB1", "dev/ttyUSB2", "dev/ttyUSB3", "dev/ttyUSB4", "dev/other"}) {
        tree.File(device, "");
    }
    tree.Link("dev/serial/by-id/usb-FTDI-if00-port0", "../../ttyUSB0");
    Process(100, "minicom");
    Open(100, 3, tree.Path("dev/ttyUSB0"));
    Process(200, "bash");
    Open(200, 0, tree.Path("dev/other"));
    Process(kSelf, "q42flash");
    Open(kSelf, 4, tree.Path("dev/ttyUSB0"));
    Process(700, "picocom");
    Process(710, "cu");
    tree.File("lock/LCK..ttyUSB0", "       100\n");
    tree.File("lock/LCK..ttyUSB1", "       700\n");
    tree.File("lock/LCK..ttyUSB2", "       999\n");
    tree.File("lock/LCK..ttyUSB3", "gone\n");
    const int binary_pid = 710;
    tree.File("lock/LCK..ttyUSB4", std::string(reinterpret_cast<const char*>(&binary_pid), sizeof binary_pid));

    const struct {
        const char* device;
        std::vector<std::string> holders;
        bool unreadable_lock;
    } rows[] = {
        // Open and locked by the same process: named once; found through a by-id link too.
        {"dev/ttyUSB0", {"minicom (pid 100)"}, false},
        {"dev/serial/by-id/usb-FTDI-if00-port0", {"minicom (pid 100)"}, false},
        {"dev/ttyUSB1", {"picocom (pid 700, " + tree.Path("lock/LCK..ttyUSB1") + ")"}, false},
        // The process that made this lock has ended: a stale lock holds nothing.
        {"dev/ttyUSB2", {}, false},
        {"dev/ttyUSB3", {}, true},
        {"dev/ttyUSB4", {"cu (pid 710, " + tree.Path("lock/LCK..ttyUSB4") + ")"}, false},
        {"dev/other", {"bash (pid 200)"}, false},
    };
    std::vector<std::string> devices;
    for (const auto& row : rows) devices.push_back(row.device);
    const std::vector<PortHolders> results = Find(devices);
    ASSERT_EQ(results.size(), devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        const auto& row = rows[i];
        const PortHolders& found = results[i];
        EXPECT_EQ(Named(found), row.holders) << row.device;
        EXPECT_EQ(!found.unreadable_lock.empty(), row.unreadable_lock) << row.device;
        EXPECT_TRUE(found.processes_visible);
        EXPECT_EQ(found.hidden_processes, 0);
    }
}

TEST_F(PortHoldersTest, PseudoTerminalsOwnEndIsNoCompetitor) {
    tree.File("dev/pts/7", "");
    tree.File("dev/pts/17", "");
    // The simulated radio: the master of pts 7, and its own handle on the slave side.
    Process(400, "q42sim");
    Master(400, 4, "tty-index:\t7\n");
    Open(400, 5, tree.Path("dev/pts/7"));
    Process(500, "cat");
    Open(500, 3, tree.Path("dev/pts/7"));
    // The end of another terminal, looked over in the same walk, does not make a holder of
    // this one its own end.
    Process(600, "screen");
    Master(600, 4, "tty-index:\t17\n");
    Open(600, 5, tree.Path("dev/pts/7"));
    Open(600, 6, tree.Path("dev/pts/17"));
    const std::vector<PortHolders> found = Find({"dev/pts/7", "dev/pts/17"});
    EXPECT_EQ(Named(found[0]), (std::vector<std::string>{"cat (pid 500)", "screen (pid 600)"}));
    EXPECT_EQ(Named(found[1]), std::vector<std::string>{});
}

TEST_F(PortHoldersTest, WithoutProcTheLockFilesStillCount) {
    tree.File("dev/ttyUSB0", "");
    tree.File("lock/LCK..ttyUSB0", std::to_string(getpid()) + "\n");
    const PortHolders found = Find({"dev/ttyUSB0"}).front();
    EXPECT_FALSE(found.processes_visible);
    EXPECT_EQ(Named(found), (std::vector<std::string>{"a program (pid " + std::to_string(getpid()) + ", " +
                                                      tree.Path("lock/LCK..ttyUSB0") + ")"}));
}

}  // namespace
