// The question's wait is the platform's, so that Ctrl-C ends it at once.
#include "flash/run/question.h"

#include <cstdio>
#include <cstring>

#include "flash/run/platform.h"

namespace {

bool SaysYes(const char* line) {
    if (std::strcmp(line, "y") == 0 || std::strcmp(line, "Y") == 0) return true;
    if (std::strlen(line) != 3) return false;
    for (size_t i = 0; i < 3; ++i) {
        if ((line[i] | 0x20) != "yes"[i]) return false;
    }
    return true;
}

}  // namespace

Answer AskToWrite(const std::string& question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    char line[64];
    switch (ReadInputLine(line, sizeof line)) {
    case InputLine::Read:
        return SaysYes(line) ? Answer::Yes : Answer::No;
    case InputLine::Stopped:
        return Answer::Stopped;
    case InputLine::Ended:
        break;
    }
    return Answer::No;
}
