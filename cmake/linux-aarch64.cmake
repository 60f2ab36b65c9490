# Cross toolchain for q42flash on 64-bit ARM Linux (Raspberry Pi OS 64-bit and the like).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(q42_linux_target aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
