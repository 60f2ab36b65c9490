// The ports q42flash listens on: those named, --port auto standing for every port present,
// each opened unless another program holds it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "flash/greeting_listener.h"

using Note = std::function<void(const std::string&)>;

// The ports named, --port auto standing for every port --list-ports shows, each once.
std::vector<std::string> CandidatePorts(const std::vector<std::string>& named);

// Opens every candidate that no other program holds, saying what it cannot see. With one
// port its refusal ends the run; with several a refused port is skipped with one line.
// False, said, when no port is left.
bool OpenCandidates(const std::vector<std::string>& devices, GreetingListener& listener, const Note& note);

// The one port listened on has hung up between two radios, as when its converter is
// unplugged. Lets go of it at once (while the old node is held, the kernel gives the
// converter another name when it is plugged in again), then, every 500 ms, opens the same
// name as at the start once it is there again. False, said, on a stop request or when it
// has not come back within wait_seconds (0: no limit).
bool AwaitPortBack(GreetingListener& listener, long wait_seconds, const Note& note);

// "A, B and C": the ports listened on.
std::string Listing(const GreetingListener& listener);
