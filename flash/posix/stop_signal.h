// Ctrl-C (SIGINT), SIGTERM and SIGHUP as requests to stop; a hang-up is at most the first.
// Signals are process-wide, so this is the one process-wide state of q42flash on POSIX; the
// handler only counts and wakes a pipe. StopRequests, LastStopSignal and EndByStopSignal
// (flash/run/platform.h) are defined here too.
#pragma once

// Installs the handlers (a signal that was ignored at start stays ignored, as a background
// job's Ctrl-C is). False if the wake-up pipe cannot be made.
bool InstallStopSignals();

// Becomes readable at the first request; a wait includes it so that a request ends the wait.
int StopWakeFd();
// Empties it again, so that a request that does not end the program does not keep every
// later wait from sleeping.
void ClearStopWake();
