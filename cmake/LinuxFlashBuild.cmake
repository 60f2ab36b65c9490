# q42flash as shipped for Linux: one static, optimised, stripped program per processor, no
# sanitizers, each an external project of its own in build/linux/ARCH (ARCH as Debian's
# cross compilers name it: x86_64, aarch64, armhf). tools/dist/make-linux-dist packs them.
include(ExternalProject)

set(Q42_LINUX_ARCHES x86_64 aarch64 armhf)
set(Q42_LINUX_BINARY_DIR ${CMAKE_BINARY_DIR}/linux)

foreach(arch IN LISTS Q42_LINUX_ARCHES)
  set(toolchain "")
  if(NOT arch STREQUAL "x86_64")
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/linux-${arch}.cmake)
  endif()
  ExternalProject_Add(q42flash_linux_${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${Q42_LINUX_BINARY_DIR}/${arch}
    CMAKE_ARGS
      ${toolchain}
      -DQ42_FLASH_BUILD=ON
      -DCMAKE_BUILD_TYPE=Release
      "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
      "-DCMAKE_EXE_LINKER_FLAGS=-static -s"
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
endforeach()
