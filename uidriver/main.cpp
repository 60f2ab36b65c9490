// q42ui: works Q42Update.exe's windows from a test script. One command per invocation
// (q42ui text "Q42 Firmware update" Static#2), or a script of commands on stdin
// (q42ui -), one a line, "quoted" words for spaces, # for comments; a script stops at
// the first command that fails. Exit code: 0 done, 1 failed or timed out, 2 wrong usage.
#include "uidriver/commands.h"
#include "winports/wide_text.h"

#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

bool SplitWords(const std::string& line, Args& words) {
    words.clear();
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i == line.size() || line[i] == '#') return true;
        std::string word;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) return false;
            word = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                word += line[i++];
            }
        }
        words.push_back(word);
    }
}

int RunScript() {
    std::string line;
    int number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        Args words;
        if (!SplitWords(line, words)) {
            std::fprintf(stderr, "q42ui: line %d: unclosed quote\n", number);
            return kUsage;
        }
        if (words.empty()) continue;
        const int code = RunCommand(words);
        std::fflush(stdout);
        if (code != kOk) {
            std::fprintf(stderr, "q42ui: line %d failed: %s\n", number, line.c_str());
            return code;
        }
    }
    return kOk;
}

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: q42ui COMMAND ARGS...   or   q42ui - < script\n"
                 "controls: CLASS, CLASS#N, CLASS=TEXT, CLASS^PREFIX, CLASS@X,Y, CLASS!ID\n");
    for (const Command& command : AllCommands()) {
        std::fprintf(stderr, "  %s %s\n", command.name, command.usage);
    }
}

}  // namespace

// The wide command line, so that a file named outside the ANSI code page reaches the command
// whole; the commands take UTF-8, as a script's lines are.
int wmain(int argc, wchar_t** argv) {
    // Plain LF on stdout, whatever reads it on the Linux side.
    _setmode(_fileno(stdout), _O_BINARY);
    Args args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8FromWide(argv[i]));
    if (args.size() == 1 && args[0] == "-") return RunScript();
    if (args.empty()) {
        PrintUsage();
        return kUsage;
    }
    const int code = RunCommand(args);
    if (code == kUsage) PrintUsage();
    return code;
}
