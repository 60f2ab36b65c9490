# Cross toolchain for the 32-bit Windows build (x86), the one that ships: it runs on 32-bit
# and 64-bit Windows alike, and on ARM64 Windows through its x86 emulation.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(q42_mingw_target i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
