// q42flash's two kinds of lines; see flash_output.h.
#include "flash/run/flash_output.h"

#include "flash/run/platform.h"

namespace {

FILE* g_say = stdout;

}  // namespace

void SayOnStandardError() { g_say = stderr; }

FILE* SayStream() { return g_say; }

void Say(const std::string& line) { WriteText(g_say, line + "\n"); }

void Complain(const std::string& text) { WriteText(stderr, "q42flash: " + text + "\n"); }
