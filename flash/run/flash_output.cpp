// q42flash's two kinds of lines; see flash_output.h.
#include "flash/run/flash_output.h"

namespace {

FILE* g_say = stdout;

}  // namespace

void SayOnStandardError() { g_say = stderr; }

FILE* SayStream() { return g_say; }

void Say(const std::string& line) {
    std::fprintf(g_say, "%s\n", line.c_str());
    std::fflush(g_say);
}

void Complain(const std::string& text) {
    std::fprintf(stderr, "q42flash: %s\n", text.c_str());
    std::fflush(stderr);
}
