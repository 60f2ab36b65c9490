// q42flash on Windows.
#include "flash/run/flash_main.h"

#include <string>
#include <vector>

#include "winports/wide_text.h"

// The command line as Windows holds it, UTF-16, so that a name or label outside the ANSI code
// page arrives whole; the run takes UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(Utf8FromWide(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& arg : args) pointers.push_back(arg.c_str());
    pointers.push_back(nullptr);
    return RunFlash(argc, pointers.data());
}
