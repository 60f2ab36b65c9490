// The 256-byte application header that the radio holds at 0x20000 and sends on the header
// read: a length-prefixed name at offset 16 (5 places) and version at 22 (6 places).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/sim_options.h"

constexpr size_t kHeaderSize = 256;
constexpr size_t kNameOffset = 16;
constexpr size_t kNamePlaces = 5;
constexpr size_t kVersionOffset = 22;
constexpr size_t kVersionPlaces = 6;

// Builds the header from --name/--version or --image, with the length overrides.
bool MakeHeader(const SimOptions& options, uint8_t (&header)[kHeaderSize], std::string& error);
