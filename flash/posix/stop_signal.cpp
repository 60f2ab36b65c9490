// The stop signals' handler and the self-pipe that wakes a waiting select.
#include "flash/posix/stop_signal.h"

#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>

#include "flash/run/platform.h"

namespace {

volatile sig_atomic_t g_requests = 0;
volatile sig_atomic_t g_last_signal = SIGINT;
int g_wake[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnStopSignal(int signal_number) {
    // A closed terminal or lost session sends the shell's hang-up and the kernel's together:
    // neither is a person asking twice, so a hang-up never stops a write that is under way.
    if (signal_number == SIGHUP && g_requests > 0) return;
    g_last_signal = signal_number;
    g_requests = g_requests + 1;
    const char byte = 1;
    // Async-signal-safe; a full pipe already wakes the wait.
    if (write(g_wake[1], &byte, 1) < 0) return;
}

}  // namespace

bool InstallStopSignals() {
    if (pipe(g_wake) != 0) return false;
    for (const int fd : g_wake) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    for (const int signal_number : kStopSignals) {
        struct sigaction previous {};
        sigaction(signal_number, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal_number, &action, nullptr);
    }
    return true;
}

int StopRequests() { return g_requests; }

int LastStopSignal() { return g_last_signal; }

int StopWakeFd() { return g_wake[0]; }

void ClearStopWake() {
    char bytes[64];
    while (read(g_wake[0], bytes, sizeof bytes) > 0) {
    }
}

void EndByStopSignal() {
    const int signal_number = g_last_signal;
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    std::_Exit(128 + signal_number);
}
