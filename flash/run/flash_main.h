// q42flash's whole run, from its command line to its exit code; each platform's main calls it.
#pragma once

int RunFlash(int argc, const char* const* argv);
