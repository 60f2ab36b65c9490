# What the two mingw-w64 toolchain files share; each sets q42_mingw_target (the compiler's
# target triplet) and CMAKE_SYSTEM_PROCESSOR first. The posix-thread variant is used because
# GoogleTest needs std::mutex, which the win32-thread variant lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${q42_mingw_target}-gcc-posix)
set(CMAKE_CXX_COMPILER ${q42_mingw_target}-g++-posix)
set(CMAKE_RC_COMPILER ${q42_mingw_target}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${q42_mingw_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# One self-contained .exe: no libgcc, libstdc++ or winpthread DLL beside it; no time stamp
# in the PE header, so the same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
