// The UI driver's commands. Each takes its arguments (command name excluded), prints what
// it reads on stdout, says why it failed on stderr, and returns the process exit code.
#pragma once

#include <string>
#include <vector>

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const Args& args);
};

const std::vector<Command>& AllCommands();

// Runs one command line (name first); unknown names and wrong argument counts give kUsage.
int RunCommand(const Args& words);

// Turns \r \n \t \e \\ and \xHH into their bytes, so that control codes can be typed.
bool DecodeEscapes(const std::string& text, std::string& bytes);
