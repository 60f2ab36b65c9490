# The Windows build, configured and built by the native one, so that one command builds both.
# It packs the firmware image with the native q42pack into build/Q42Update.exe.
include(ExternalProject)

set(Q42_FIRMWARE_IMAGE "" CACHE FILEPATH
    "Firmware image to embed in Q42Update.exe (default: the generated sample image)")
if(Q42_FIRMWARE_IMAGE)
  set(q42_image ${Q42_FIRMWARE_IMAGE})
else()
  set(q42_image ${Q42_SAMPLE_FIRMWARE})
endif()

set(Q42_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
set(Q42_UPDATE_EXE ${CMAKE_BINARY_DIR}/Q42Update.exe)

ExternalProject_Add(windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${Q42_WINDOWS_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DQ42PACK=$<TARGET_FILE:q42pack>
    -DQ42_FIRMWARE=${q42_image}
    -DQ42_PACKED_EXE=${Q42_UPDATE_EXE}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  DEPENDS q42pack sample_firmware)
