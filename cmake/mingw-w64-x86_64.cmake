# Cross toolchain for the 64-bit Windows build (x64), kept so that a size or pointer
# assumption shows on both kinds of Windows.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(q42_mingw_target x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
