// q42flash's command line, one row per rule: what each option fills and each misuse's words.
#include "flash/run/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The platform's two paragraphs of the help: the parse never reads them.
std::string PortHelp() { return ""; }
std::string StopStatusHelp() { return ""; }

namespace {

struct Row {
    std::vector<const char*> args;
    const char* error;  // "" when the command line is good
    // For a good one, what it fills, shown as one text.
    const char* filled;
};

std::string Filled(const FlashOptions& o) {
    std::string text;
    for (const std::string& port : o.ports) text += "port=" + port + " ";
    if (!o.image_path.empty()) text += "image=" + o.image_path + " ";
    if (!o.program_path.empty()) text += "from=" + o.program_path + " ";
    if (o.wait_seconds > 0) text += "wait=" + std::to_string(o.wait_seconds) + " ";
    if (o.count > 0) text += "count=" + std::to_string(o.count) + " ";
    if (!o.record_path.empty()) text += "record=" + o.record_path + " ";
    const std::pair<bool, const char*> flags[] = {
        {o.yes, "yes"},       {o.force, "force"},         {o.all, "all"},
        {o.repeat, "repeat"}, {o.json, "json"},           {o.info, "info"},
        {o.bell, "bell"},     {o.ask_label, "ask-label"}, {o.skip_current, "skip-current"},
        {o.help, "help"},     {o.version, "version"},     {o.list_ports, "list-ports"}};
    for (const auto& flag : flags) {
        if (flag.first) text += std::string(flag.second) + " ";
    }
    return text;
}

TEST(CommandLine, EachRuleFillsOrRefuses) {
    const Row rows[] = {
        {{"--port", "/dev/ttyUSB0", "--image", "q42.bin"}, "", "port=/dev/ttyUSB0 image=q42.bin "},
        {{"--port", "COM3=left", "--port", "COM4=right", "--from", "Q42Update.exe", "--all", "--yes"},
         "",
         "port=COM3=left port=COM4=right from=Q42Update.exe yes all "},
        {{"--port", "auto", "--image", "i", "--repeat", "--count", "999999", "--wait", "1", "--record", "r.jsonl",
          "--json", "--bell", "--ask-label", "--skip-current", "--force"},
         "",
         "port=auto image=i wait=1 count=999999 record=r.jsonl force repeat json bell ask-label skip-current "},
        {{"--port", "COM3", "--info"}, "", "port=COM3 info "},
        {{"--list-ports"}, "", "list-ports "},
        {{"--port", "COM3", "--help", "--nonsense"}, "", "port=COM3 help "},
        {{"-h"}, "", "help "},
        {{"/?"}, "", "help "},
        {{"--version", "--nonsense"}, "", "version "},
        {{"--list-ports", "--yes"}, "--list-ports takes no other option", ""},
        {{"--image", "i"}, "name the radio's port with --port DEVICE (q42flash --list-ports shows the ports)", ""},
        {{"--port", "COM3"}, "name the firmware with --image FILE or --from PROGRAM.exe (or use --info)", ""},
        {{"--port", "COM3", "--image", "i", "--from", "p.exe"}, "give --image or --from, not both", ""},
        {{"--port", "COM3", "--image", "i", "--all", "--ask-label"},
         "--ask-label goes with one port at a time, not with --all",
         ""},
        {{"--port", "COM3", "--image", "i", "--count", "2"}, "--count goes with --repeat", ""},
        {{"--port", "COM3", "--image"}, "--image needs a value", ""},
        {{"--port", "", "--image", "i"}, "--port needs a value", ""},
        {{"--port", "=left", "--image", "i"}, "--port =left names no device before its \"=\"", ""},
        {{"--port", "COM0", "--image", "i"}, "--port COM0 names no port: Windows numbers its ports COM1 to COM256", ""},
        {{"--port", "\\\\.\\com257=left", "--image", "i"},
         "--port \\\\.\\com257=left names no port: Windows numbers its ports COM1 to COM256",
         ""},
        {{"--port", "COM256", "--port", "/dev/COM0", "--info"}, "", "port=COM256 port=/dev/COM0 info "},
        {{"--port", "COM3", "--images", "i"}, "unknown option --images", ""},
        {{"--port", "COM3", "--image", "i", "--wait", "0"},
         "--wait takes a whole number of seconds from 1 to 999999, not 0",
         ""},
        {{"--port", "COM3", "--image", "i", "--wait", "1000000"},
         "--wait takes a whole number of seconds from 1 to 999999, not 1000000",
         ""},
        {{"--port", "COM3", "--image", "i", "--repeat", "--count", "-3"},
         "--count takes a number of radios from 1 to 999999, not -3",
         ""},
        {{"--port", "COM3", "--image", "i", "--wait", "2s"},
         "--wait takes a whole number of seconds from 1 to 999999, not 2s",
         ""},
    };
    for (const Row& row : rows) {
        std::vector<const char*> argv = {"q42flash"};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        FlashOptions options;
        std::string error;
        const bool good = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options, error);
        const std::string shown = row.args.size() > 1 ? std::string(row.args[0]) + " " + row.args[1] : row.args[0];
        EXPECT_EQ(good, row.error[0] == '\0') << shown;
        EXPECT_EQ(error, row.error) << shown;
        if (good) {
            EXPECT_EQ(Filled(options), row.filled) << shown;
        }
    }
}

}  // namespace
