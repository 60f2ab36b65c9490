# The Windows builds, configured and built by the native one, so that one command builds
# them all: x86 (32-bit, the program that ships, in build/windows) and x64 (64-bit, kept so
# that a size or pointer assumption shows on both, in build/windows64). Each packs the
# firmware image with the native q42pack: build/Q42Update.exe and build/Q42Update-x64.exe.
include(ExternalProject)

set(Q42_FIRMWARE_IMAGE "" CACHE FILEPATH
    "Firmware image to embed in Q42Update.exe (default: the generated sample image)")
if(Q42_FIRMWARE_IMAGE)
  set(q42_image ${Q42_FIRMWARE_IMAGE})
else()
  set(q42_image ${Q42_SAMPLE_FIRMWARE})
endif()

# Per build: its external project, folder, packed product and toolchain file.
set(Q42_WINDOWS_ARCHES x86 x64)
set(q42_project_x86 windows)
set(q42_project_x64 windows64)
set(Q42_WINDOWS_BINARY_DIR_x86 ${CMAKE_BINARY_DIR}/windows)
set(Q42_WINDOWS_BINARY_DIR_x64 ${CMAKE_BINARY_DIR}/windows64)
set(Q42_UPDATE_EXE_x86 ${CMAKE_BINARY_DIR}/Q42Update.exe)
set(Q42_UPDATE_EXE_x64 ${CMAKE_BINARY_DIR}/Q42Update-x64.exe)
set(q42_toolchain_x86 mingw-w64-i686.cmake)
set(q42_toolchain_x64 mingw-w64-x86_64.cmake)

# Wine runs a 32-bit program through its 32-bit loader, which needs a kernel that executes
# 32-bit x86 code; some virtual machines' kernels are built without that. There the 32-bit
# build is still built and checked as a file, and the 64-bit one is what runs under Wine.
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE q42_wine32_status
                OUTPUT_QUIET ERROR_QUIET)
if(q42_wine32_status EQUAL 0)
  set(Q42_WINE_ARCHES x86 x64)
  set(q42_run_arch x86)
else()
  set(Q42_WINE_ARCHES x64)
  set(q42_run_arch x64)
  message(STATUS "This kernel cannot run 32-bit programs: the Wine tests of the 32-bit build are "
                 "disabled, and the end-to-end tests, the demo and the benchmarks run the 64-bit build")
endif()
# Read by tests/e2e/build-env.sh, for the demo, the soak and the benchmarks.
set(Q42_WINE_RUN_ARCH ${q42_run_arch} CACHE INTERNAL "The Windows build that runs under Wine here")

# The build that the end-to-end tests, the demo and the benchmarks run: the shipped one where
# Wine can run it.
set(Q42_WINDOWS_BINARY_DIR ${Q42_WINDOWS_BINARY_DIR_${q42_run_arch}})
set(Q42_UPDATE_EXE ${Q42_UPDATE_EXE_${q42_run_arch}})

foreach(arch IN LISTS Q42_WINDOWS_ARCHES)
  ExternalProject_Add(${q42_project_${arch}}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${Q42_WINDOWS_BINARY_DIR_${arch}}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${q42_toolchain_${arch}}
      -DCMAKE_BUILD_TYPE=Release
      -DQ42PACK=$<TARGET_FILE:q42pack>
      -DQ42_FIRMWARE=${q42_image}
      -DQ42_PACKED_EXE=${Q42_UPDATE_EXE_${arch}}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    DEPENDS q42pack sample_firmware)
endforeach()
