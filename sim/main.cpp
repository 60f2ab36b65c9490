// q42sim: plays the Q42 radio on a pseudo-terminal (or a serial device) for the program
// running under Wine. One thread polls the line and the control lines on stdin; events go
// to stdout one line each, diagnostics to stderr.
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "sim/header_block.h"
#include "sim/line_pacer.h"
#include "sim/radio.h"
#include "sim/radio_port.h"
#include "sim/sim_options.h"

namespace {

volatile sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int) { g_stop_signal = 1; }

constexpr uint64_t kNsPerMs = 1000000;
// Room kept free in the output queue for the radio's own answers while echoing.
constexpr size_t kOutputReserve = 1024;
// After EIO on the line (no one at the other end) look again this much later.
constexpr uint64_t kRetryAfterEioNs = 50 * kNsPerMs;
// At the end, how long pending output may take to leave before the line is closed.
constexpr uint64_t kDrainLimitNs = 2000 * kNsPerMs;

uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// The radio's line as the executable sees it: paced bytes to the port, events to stdout.
class ProcessLine : public RadioLine {
public:
    ProcessLine(int fd, uint32_t pace_baud) : fd_(fd), pacer_(std::make_unique<LinePacer>(pace_baud)) {}

    uint64_t Send(const uint8_t* data, size_t count, uint64_t now_ns) override {
        uint64_t last = now_ns;
        const size_t queued = pacer_->Queue(data, count, now_ns, &last);
        if (queued < count) {
            std::fprintf(stderr, "q42sim: output queue full, %zu bytes lost\n", count - queued);
        }
        return last;
    }
    void DropPending() override { pacer_->Clear(); }
    void Report(const char* event) override {
        std::printf("event %s\n", event);
        std::fflush(stdout);
    }
    void HangUp() override { hung_up_ = true; }

    // Writes what is due; returns false if the line would not take it all.
    bool Flush(uint64_t now_ns) {
        uint8_t chunk[4096];
        for (;;) {
            const size_t ready = pacer_->PeekReady(now_ns, chunk, sizeof chunk);
            if (ready == 0) return true;
            const ssize_t n = write(fd_, chunk, ready);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
                // Nobody at the other end (EIO): the bytes are lost, as on an open cable.
                pacer_->Drop(ready);
                continue;
            }
            pacer_->Drop(static_cast<size_t>(n));
        }
    }

    bool hung_up() const { return hung_up_; }
    const LinePacer& pacer() const { return *pacer_; }

private:
    int fd_;
    std::unique_ptr<LinePacer> pacer_;
    bool hung_up_ = false;
};

class Simulator {
public:
    Simulator(const SimOptions& options, const RadioSetup& setup, RadioPort& port, uint64_t start_ns)
        : port_(port),
          start_ns_(start_ns),
          // A real serial device paces itself; only a pseudo-terminal needs our help.
          line_(port.fd(), port.needs_pacing() ? options.baud : 0),
          radio_(setup, line_) {
        if (options.mode == RadioMode::App || (options.mode == RadioMode::Boot && options.power_on)) {
            radio_.PowerOn(Now());
        }
    }

    // Runs until quit, end of stdin, a stop signal or a hang-up; returns the reason.
    const char* Run(const sigset_t& wait_mask) {
        for (;;) {
            const uint64_t now = Now();
            radio_.Tick(now);
            const bool blocked = !line_.Flush(now);
            if (line_.hung_up()) return "hangup";

            pollfd fds[2];
            fds[0] = {STDIN_FILENO, POLLIN, 0};
            nfds_t n = 1;
            const bool may_read = ReadRoom() > 0 && now >= port_retry_at_;
            const short port_events = static_cast<short>((may_read ? POLLIN : 0) | (blocked ? POLLOUT : 0));
            if (port_events != 0) fds[n++] = {port_.fd(), port_events, 0};

            uint64_t deadline = radio_.NextDeadline();
            if (!blocked && line_.pacer().Pending() > 0 && line_.pacer().NextRelease() < deadline) {
                deadline = line_.pacer().NextRelease();
            }
            if (now < port_retry_at_ && port_retry_at_ < deadline) deadline = port_retry_at_;
            timespec timeout{};
            if (deadline != UINT64_MAX) {
                const uint64_t wait = deadline > now ? deadline - now : 0;
                timeout.tv_sec = static_cast<time_t>(wait / 1000000000ull);
                timeout.tv_nsec = static_cast<long>(wait % 1000000000ull);
            }
            const int ready = ppoll(fds, n, deadline == UINT64_MAX ? nullptr : &timeout, &wait_mask);
            if (g_stop_signal) return "signal";
            if (ready < 0) {
                if (errno == EINTR) continue;
                std::fprintf(stderr, "q42sim: poll failed: %s\n", std::strerror(errno));
                return "error";
            }
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                if (const char* reason = ReadControl()) return reason;
            }
            if (n > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadPort();
        }
    }

    // Lets pending output leave, within a bound, before the line is closed.
    void Drain() {
        const uint64_t limit = Now() + kDrainLimitNs;
        while (!line_.hung_up() && line_.pacer().Pending() > 0) {
            const uint64_t now = Now();
            if (now >= limit) break;
            const bool blocked = !line_.Flush(now);
            if (line_.pacer().Pending() == 0) break;
            pollfd fd = {port_.fd(), POLLOUT, 0};
            const uint64_t until = blocked ? limit : std::min(limit, line_.pacer().NextRelease());
            const uint64_t wait = until > now ? until - now : 0;
            const timespec timeout = {static_cast<time_t>(wait / 1000000000ull),
                                      static_cast<long>(wait % 1000000000ull)};
            ppoll(&fd, blocked ? 1 : 0, &timeout, nullptr);
        }
    }

    const Radio& radio() const { return radio_; }

private:
    uint64_t Now() const { return MonotonicNs() - start_ns_; }

    const char* ReadControl() {
        char chunk[1024];
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return nullptr;
        if (n <= 0) return "eof";
        control_.append(chunk, static_cast<size_t>(n));
        size_t end;
        while ((end = control_.find('\n')) != std::string::npos) {
            std::string text = control_.substr(0, end);
            control_.erase(0, end + 1);
            if (!text.empty() && text.back() == '\r') text.pop_back();
            if (text.empty()) continue;
            std::string error;
            switch (radio_.HandleControl(text, Now(), error)) {
            case Radio::Control::Quit:
                return "quit";
            case Radio::Control::Refused:
                std::fprintf(stderr, "q42sim: %s\n", error.c_str());
                break;
            case Radio::Control::Done:
                break;
            }
            if (line_.hung_up()) return "hangup";
        }
        return nullptr;
    }

    // How many bytes may be taken from the program: what the radio's input queue holds, and,
    // as a looped-back cable sends each one back, what the output queue can still take
    // besides those not yet echoed and the room kept for the radio's answers.
    size_t ReadRoom() const {
        const size_t spoken_for = radio_.ReceivePending() + kOutputReserve;
        const size_t free = line_.pacer().Free();
        const size_t output_room = free > spoken_for ? free - spoken_for : 0;
        return std::min(radio_.ReceiveRoom(), output_room);
    }

    void ReadPort() {
        uint8_t chunk[4096];
        const size_t room = std::min(ReadRoom(), sizeof chunk);
        const ssize_t n = read(port_.fd(), chunk, room);
        if (n > 0) {
            const size_t got = static_cast<size_t>(n);
            const size_t taken = radio_.Receive(chunk, got, Now());
            if (taken < got) std::fprintf(stderr, "q42sim: input queue full, %zu bytes lost\n", got - taken);
        } else if (n == 0 || errno != EAGAIN) {
            // EIO or end of file: nobody at the other end (a device unplugged); look again
            // later instead of spinning on the readiness that poll keeps reporting.
            port_retry_at_ = Now() + kRetryAfterEioNs;
        }
    }

    RadioPort& port_;
    uint64_t start_ns_;
    ProcessLine line_;
    Radio radio_;
    uint64_t port_retry_at_ = 0;
    std::string control_;
};

}  // namespace

int main(int argc, char** argv) {
    const uint64_t start_ns = MonotonicNs();
    SimOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "q42sim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    RadioSetup setup;
    setup.mode = options.mode;
    setup.status_period_ms = options.status_period_ms;
    setup.faults = options.faults;
    if (!MakeHeader(options, setup.header, error)) {
        std::fprintf(stderr, "q42sim: %s\n", error.c_str());
        return 1;
    }

    // Stop signals are only let through while waiting in ppoll, so none is lost between
    // the check of the flag and the wait.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGHUP);
    sigset_t wait_mask;
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    RadioPort port;
    const bool opened = options.device.empty()
                            ? port.OpenPty(options.link_path, error)
                            : port.OpenDevice(options.device, options.baud ? options.baud : 9600, error);
    if (!opened) {
        std::fprintf(stderr, "q42sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready %s=%s\n", options.device.empty() ? "pty" : "device", port.name().c_str());
    std::fflush(stdout);
    setup.receive_baud = port.needs_pacing() ? options.baud : 0;

    // The radio holds a copy of the whole flash: keep it off the stack.
    auto sim = std::make_unique<Simulator>(options, setup, port, start_ns);
    const char* reason = sim->Run(wait_mask);
    if (std::strcmp(reason, "hangup") != 0) sim->Drain();
    port.Close();
    bool saved = true;
    if (!options.flash_out.empty() && !sim->radio().bootloader().SaveFlash(options.flash_out, error)) {
        std::fprintf(stderr, "q42sim: %s\n", error.c_str());
        saved = false;
    }
    std::printf("event exit reason=%s\n", reason);
    std::fflush(stdout);
    return std::strcmp(reason, "error") == 0 || !saved ? 1 : 0;
}
