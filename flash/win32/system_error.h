// The system's words for an error number, for the reasons q42flash gives.
#pragma once

#include <windows.h>

#include <string>

// "Access is denied" for 5: the system's message without its full stop and line end, in the
// user's language; "system error N" where the system has none.
std::string SystemErrorWords(DWORD error);
