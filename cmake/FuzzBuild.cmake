# The fuzz targets: a clang build of the portable logic and the simulator with libFuzzer,
# AddressSanitizer and UBSan in build/fuzz, driven from the native build like the Windows one.
# Each target runs briefly on its corpus in the tests (label "fuzz"); `make fuzz` runs them long.
include(ExternalProject)

set(Q42_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
set(q42_fuzz_targets
  status_receiver_fuzz container_fuzz boot_link_fuzz terminal_screen_fuzz settings_value_fuzz
  sim_bootloader_fuzz)

ExternalProject_Add(fuzz_targets
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${Q42_FUZZ_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_C_COMPILER=clang-14
    -DCMAKE_CXX_COMPILER=clang++-14
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DQ42_FUZZ_BUILD=ON
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

foreach(target IN LISTS q42_fuzz_targets)
  add_test(NAME fuzz.${target}
    COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run --seconds 10 ${Q42_FUZZ_BINARY_DIR} ${target})
  set_tests_properties(fuzz.${target} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
