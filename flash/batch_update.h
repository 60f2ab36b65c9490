// Several radios at once (--all): every port listened on whose radio greets gets its own
// update, all from one loop: one wait over every port, each port with its own link, host and
// 10 ms ticks, so that a port that fails disturbs none of the others.
#pragma once

#include "flash/flash_run.h"
#include "flash/greeting_listener.h"

// Asks once for the batch (unless --yes or --info), then serves the ports until each has had
// its radio (with --repeat: until stopped, or --count radios in all). Returns the exit code:
// 0 only when every radio was written, else the first failure's in the table's order. A
// stop request that leaves a radio half-written ends the process by its signal.
int UpdateAllAtOnce(Run& run, GreetingListener& listener);
