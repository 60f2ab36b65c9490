// q42flash's one loop over the ports it listens on, for one radio, one after another
// (--repeat) and several at once (--all) alike: each port goes from listening to one radio's
// update session and, with --repeat, back. One wait serves every port; each port has its own
// link, host and 10 ms ticks, so a port that fails disturbs none of the others.
#pragma once

#include <memory>

#include "core/update_session.h"
#include "flash/run/command_line.h"
#include "flash/run/listened_ports.h"
#include "flash/run/platform.h"

// What a run keeps across its radios.
struct Run {
    explicit Run(const FlashOptions& given) : options(given) {}
    const FlashOptions& options;
    SessionImage image;
    std::unique_ptr<AppendFile> record;
};

// Serves the ports until the run is over. One radio: the first port whose radio greets is
// kept and the others closed, and the question is asked after its header. --all: the
// question is asked once before the wait, and every port whose radio greets is updated.
// Returns the exit code: 0 only when every radio was written, else the first failure's in
// the table's order. A stop that leaves nothing written, or a radio half-written, ends the
// process by its signal.
int ServeRadios(Run& run, ListenedPorts& ports);
