// q42flash's bench: the one loop over the ports it listens on, for one radio, one after
// another (--repeat) and several at once (--all) alike. Each port goes from listening to one
// radio's update session and, with --repeat, back. One wait serves every port; each port has
// its own link, host and 10 ms ticks, so a port that fails disturbs none of the others. The
// bench decides; the wait, the clock, the words, the record, the labels and the bell are
// given to it (bench_given.h).
#pragma once

#include "core/update_session.h"
#include "flash/run/bench_given.h"
#include "flash/run/command_line.h"
#include "flash/run/listened_ports.h"

// How a run ended: its exit code, or, when by_signal, by the stop's own signal (nothing
// written after a stop, or a radio half-written), which the caller raises once the ports
// are put back.
struct BenchEnd {
    int exit_code = kExitWritten;
    bool by_signal = false;
};

// Serves the ports until the run is over. One radio: the first port whose radio greets is
// kept and the others closed, and the question is asked after its header. --all: the
// question is asked once before the wait, and every port whose radio greets is updated.
// The exit code is 0 only when every radio was written, else the first failure's in the
// table's order.
BenchEnd RunBench(const FlashOptions& options, const SessionImage& image, ListenedPorts& ports,
                  const BenchGiven& given);

// One id per run: the start's Unix time and 32 random bits, unique across a shop's PCs.
std::string NewRunId(BenchSystem& system);
