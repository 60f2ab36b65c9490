// Ctrl-C, Ctrl-Break, the console's close and the session's end, counted as the run's stop
// requests; and the hidden window that asks Windows to hold the session's end and not to
// sleep while a radio is being written.
#pragma once

#include <windows.h>

#include <string>

// The console's handler and the session's window; false with the reason.
bool PrepareStopRequests(std::string& error);
// Set at the first request and never reset: what a wait for input also waits on.
HANDLE StopEvent();
