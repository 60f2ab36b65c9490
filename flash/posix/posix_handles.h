// A file descriptor and a directory stream in the house's one holder: closed once, by its owner.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include "core/unique_handle.h"

struct FdTraits {
    using Value = int;
    static int Empty() { return -1; }
    static bool Valid(int fd) { return fd >= 0; }
    static bool Close(int fd) { return close(fd) == 0; }
};
using UniqueFd = UniqueHandle<FdTraits>;

struct DirTraits {
    using Value = DIR*;
    static DIR* Empty() { return nullptr; }
    static bool Valid(DIR* dir) { return dir != nullptr; }
    static bool Close(DIR* dir) { return closedir(dir) == 0; }
};
using UniqueDir = UniqueHandle<DirTraits>;
