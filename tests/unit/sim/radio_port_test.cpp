// One bounded smoke test of the pseudo-terminal: bytes pass both ways through the symlink,
// the line survives the program closing and reopening its port, and the link is removed.
#include "sim/radio_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads what arrives on fd within a bounded wait (poll, not sleep).
std::string ReadSome(int fd, size_t want) {
    std::string got;
    while (got.size() < want) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) break;
        char buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

TEST(RadioPort, PtyCarriesBytesAcrossReopenAndCleansUp) {
    const std::string link = ::testing::TempDir() + "radio_port_test_link";
    RadioPort port;
    std::string error;
    ASSERT_TRUE(port.OpenPty(link, error)) << error;

    for (const char* text : {"first", "after reopen"}) {
        const int program = open(link.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(program, 0);
        const std::string out = text;
        ASSERT_EQ(write(program, out.data(), out.size()), ssize_t(out.size()));
        EXPECT_EQ(ReadSome(port.fd(), out.size()), out);
        ASSERT_EQ(write(port.fd(), "OK\r", 3), 3);
        EXPECT_EQ(ReadSome(program, 3), "OK\r") << "raw: no translation of the carriage return";
        close(program);
    }

    port.Close();
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the symlink is removed";
}

TEST(RadioPort, WillNotReplaceAPlainFile) {
    const std::string path = ::testing::TempDir() + "radio_port_test_plain";
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    RadioPort port;
    std::string error;
    EXPECT_FALSE(port.OpenPty(path, error));
    EXPECT_FALSE(error.empty());
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(path.c_str());
}

}  // namespace
