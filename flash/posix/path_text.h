// Small readings of paths and of the one-line files that sysfs and /proc hold, shared by the
// port list and the search for the port's other holders.
#pragma once

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "flash/posix/posix_handles.h"

// The part of a path after its last '/'.
inline std::string LastPart(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A file's first line without its trailing blanks; empty when it cannot be read.
inline std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// The names in a folder but "." and "..", in the system's order; none when it cannot be read.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    const UniqueDir dir(opendir(folder.c_str()));
    if (!dir.Valid()) return names;
    while (const dirent* entry = readdir(dir.Get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}
