// Saves what the screen shows of a window's client area as a 24-bit .bmp file, so that a
// test sees the pixels a user would see, not what the program believes it drew.
#pragma once

#include <windows.h>

#include <string>

// False with a reason in error when the window has no client area or a step fails.
bool SaveClientArea(HWND hwnd, const std::string& path, std::string& error);
