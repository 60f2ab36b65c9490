// The question's wait takes the stop requests' pipe too, so Ctrl-C ends it at once.
#include "flash/question.h"

#include <strings.h>
#include <sys/select.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "flash/stop_signal.h"

Answer AskToWrite(const std::string& question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    char line[64];
    size_t length = 0;
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        FD_SET(StopWakeFd(), &readable);
        const int ready = select(std::max(STDIN_FILENO, StopWakeFd()) + 1, &readable, nullptr, nullptr, nullptr);
        if (StopRequests() > 0) return Answer::Stopped;
        // An input that fails (a background job's, a closed one) is "no", never a retry.
        if (ready < 0 && errno != EINTR) return Answer::No;
        if (ready <= 0 || !FD_ISSET(STDIN_FILENO, &readable)) continue;
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Answer::No;
        if (n == 0 || c == '\n') break;
        if (length < sizeof line - 1) line[length++] = c;
    }
    line[length] = '\0';
    return std::strcmp(line, "y") == 0 || std::strcmp(line, "Y") == 0 || strcasecmp(line, "yes") == 0 ? Answer::Yes
                                                                                                      : Answer::No;
}
