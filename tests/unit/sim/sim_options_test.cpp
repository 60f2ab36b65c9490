// The command line: what is accepted, what is refused, and the faults it sets.
#include "sim/sim_options.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

bool Parse(std::vector<const char*> args, SimOptions& options, std::string& error) {
    args.insert(args.begin(), "q42sim");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(SimOptions, AcceptsAndRefuses) {
    const struct {
        std::vector<const char*> args;
        bool ok;
    } rows[] = {
        {{"--link", "/tmp/x"}, true},
        {{"--device", "/dev/ttyS0", "--mode", "loopback"}, true},
        {{}, false},
        {{"--link", "/tmp/x", "--device", "/dev/ttyS0"}, false},
        {{"--link"}, false},
        {{"--link", "/tmp/x", "--mode", "sleep"}, false},
        {{"--link", "/tmp/x", "--name", "TOOLONG"}, false},
        {{"--link", "/tmp/x", "--version", "1234567"}, false},
        {{"--link", "/tmp/x", "--name-length", "256"}, false},
        {{"--link", "/tmp/x", "--baud", "96OO"}, false},
        {{"--link", "/tmp/x", "--baud", "10"}, false},
        {{"--link", "/tmp/x", "--image", "a.bin", "--name", "ABCDE"}, false},
        {{"--link", "/tmp/x", "--fault", "nack"}, false},
        {{"--link", "/tmp/x", "--fault", "no-hash=2"}, false},
        {{"--link", "/tmp/x", "--fault", "meltdown"}, false},
        {{"--link", "/tmp/x", "--frobnicate", "1"}, false},
    };
    for (const auto& row : rows) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(Parse(row.args, options, error), row.ok) << (row.args.empty() ? "" : row.args.back());
        EXPECT_EQ(error.empty(), row.ok) << error;
    }
}

TEST(SimOptions, ValuesAndFaultsLand) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(Parse(
        {"--link", "/tmp/x", "--mode", "app", "--status-period", "250", "--baud", "9600", "--name", "AB",
         "--version-length", "7", "--power-on", "--fault", "nack=3", "--fault", "short-header", "--fault", "hangup=0"},
        options, error))
        << error;
    EXPECT_EQ(options.mode, RadioMode::App);
    EXPECT_EQ(options.status_period_ms, 250u);
    EXPECT_EQ(options.baud, 9600u);
    EXPECT_EQ(options.name, "AB");
    EXPECT_EQ(options.version_length, 7);
    EXPECT_EQ(options.name_length, -1);
    EXPECT_TRUE(options.power_on);
    EXPECT_EQ(options.faults.nack_at, 3);
    EXPECT_EQ(options.faults.hangup_at, 0);
    EXPECT_EQ(options.faults.no_ack_at, -1);
    EXPECT_TRUE(options.faults.short_header);
    EXPECT_FALSE(options.faults.silent_header);

    ASSERT_TRUE(ApplyFault("none", options.faults, error));
    EXPECT_EQ(options.faults.nack_at, -1);
    EXPECT_FALSE(options.faults.short_header);
}

}  // namespace
