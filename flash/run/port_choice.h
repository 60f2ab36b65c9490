// The ports q42flash listens on: those named, --port auto standing for every port present,
// each opened unless another program holds it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "flash/run/listened_ports.h"

using Note = std::function<void(const std::string&)>;

// The ports named (DEVICE or DEVICE=NAME, NAME a bench position's), --port auto standing for
// every port --list-ports shows, each once. False with error when one port is named twice.
bool CandidatePorts(const std::vector<std::string>& given, std::vector<PortCandidate>& ports, std::string& error);

// Opens every candidate that no other program holds, saying what it cannot see. With one
// port its refusal ends the run; with several a refused port is skipped with one line.
// False, said, when no port is left.
bool OpenCandidates(const std::vector<PortCandidate>& candidates, ListenedPorts& listener, const Note& note);

// Why device cannot be taken while the programs found hold it; "" when none does.
std::string HeldByText(const std::string& device, const PortHolderSearch& found);
