# What the Linux cross toolchain files share; each sets q42_linux_target (Debian's triplet of
# the cross compiler) and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${q42_linux_target}-gcc)
set(CMAKE_CXX_COMPILER ${q42_linux_target}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${q42_linux_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
