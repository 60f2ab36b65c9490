# Cross toolchain for q42flash on 32-bit ARM Linux with hardware floating point (Raspberry Pi
# OS 32-bit, every Pi model from the 2 on).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(q42_linux_target arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
# GCC notes that 32-bit ARM passes some iterators differently since GCC 7.1; the program is
# built whole by one compiler and linked statically, so that ABI change cannot reach it.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
