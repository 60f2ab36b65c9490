// The running program's own file, read back whole into the program-wide firmware store, in
// which the firmware container is then looked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/firmware_container.h"

// Lives for the whole run in static storage: the buffers are far too large for a stack.
extern FirmwareStore ProgramFirmware;

// Reads the first capacity bytes (or fewer, if the file is shorter) of the file at path into
// buffer, in one bulk read; returns the file's whole size. Raises a failure that names the
// file when it cannot be opened, sized, read or closed.
size_t ReadProgramFile(const std::wstring& path, uint8_t* buffer, size_t capacity);

// Reads the running program's file into ProgramFirmware.ExeImage and loads the image from
// the container that it carries.
LoadResult LoadFirmwareImage();
