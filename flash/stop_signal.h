// Ctrl-C (SIGINT), SIGTERM and SIGHUP as requests to stop; a hang-up is at most the first. Signals are process-wide, so
// this is the one process-wide state of q42flash; the handler only counts and wakes a pipe.
#pragma once

// Installs the handlers (a signal that was ignored at start stays ignored, as a background
// job's Ctrl-C is). False if the wake-up pipe cannot be made.
bool InstallStopSignals();

// How many stop requests have come so far.
int StopRequests();

// The signal of the last request that counted (SIGINT before any).
int LastStopSignal();

// Becomes readable at the first request; a wait includes it so that a request ends the wait.
int StopWakeFd();
// Empties it again, so that a request that does not end the program does not keep every
// later wait from sleeping.
void ClearStopWake();

// Ends the process by the signal that asked for the stop, as a shell expects of a program
// stopped with Ctrl-C (its status is then 128 + the signal's number, 130 for Ctrl-C).
[[noreturn]] void EndByStopSignal();
