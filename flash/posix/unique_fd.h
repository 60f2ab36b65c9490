// A file descriptor in the house's one holder: closed once, by its owner.
#pragma once

#include <unistd.h>

#include "core/unique_handle.h"

struct FdTraits {
    using Value = int;
    static int Empty() { return -1; }
    static bool Valid(int fd) { return fd >= 0; }
    static bool Close(int fd) { return close(fd) == 0; }
};
using UniqueFd = UniqueHandle<FdTraits>;
