# Registers the Windows-side tests of both Windows builds (in Q42_WINDOWS_BINARY_DIR_<arch>)
# to run under Wine, one CTest test per group of GoogleTest suites and build, label "wine".
# rig/wine-test gives each run loopback peers on COM3 and COM12 and leaves COM7 without a
# device. A test's name ends in its build: serial_wine.events.x86, ui_wine.windows.x64.
set(q42_serial_wine_groups
  "settings=ByteRing.*:TransferQueue.*:ControlBlock.*:EventMask.*:TimeOuts.*:EachSetting/*"
  "open=CommOpen.*"
  "properties=CommProperties.*:CommClosed.*"
  "dispatch=CommDispatch.*"
  "events=CommEvents.*"
  "writes=CommWrites.*"
  "lifecycle=CommLifecycle.*")
set(q42_ui_wine_groups
  "windows=-ApplicationQuit.*:ApplicationClose.*"
  "quit=ApplicationQuit.*"
  "close=ApplicationClose.*")

foreach(arch IN LISTS Q42_WINDOWS_ARCHES)
  # A build that Wine cannot run here stays in the list, disabled, so that a run says what it
  # could not do (cmake/WindowsBuild.cmake).
  if(arch IN_LIST Q42_WINE_ARCHES)
    set(disabled FALSE)
  else()
    set(disabled TRUE)
  endif()
  set(q42_serial_wine_test ${Q42_WINDOWS_BINARY_DIR_${arch}}/tests/serial_wine_test.exe)
  foreach(group IN LISTS q42_serial_wine_groups)
    string(REPLACE "=" ";" parts "${group}")
    list(GET parts 0 name)
    list(GET parts 1 filter)
    add_test(NAME serial_wine.${name}.${arch}
      COMMAND ${CMAKE_SOURCE_DIR}/rig/wine-test --build ${CMAKE_BINARY_DIR}
              --loopback 3 --loopback 12 --missing 7
              ${q42_serial_wine_test} --gtest_filter=${filter})
    set_tests_properties(serial_wine.${name}.${arch} PROPERTIES
      LABELS wine
      DISABLED ${disabled}
      # One Wine server per prefix, and the COM port paths are shared with the other Wine tests.
      RESOURCE_LOCK wineprefix
      # The first run also makes the prefix (about 25 s); Wine itself is stopped at 120 s.
      TIMEOUT 240
      ENVIRONMENT "Q42_SIM=$<TARGET_FILE:q42sim>;Q42_WINE_SECONDS=120")
  endforeach()

  # The window layer and the program's windows, which need a display. The quit and the
  # program's close each end the application object, so each has a run of its own.
  foreach(group IN LISTS q42_ui_wine_groups)
    string(REPLACE "=" ";" parts "${group}")
    list(GET parts 0 name)
    list(GET parts 1 filter)
    add_test(NAME ui_wine.${name}.${arch}
      COMMAND ${CMAKE_SOURCE_DIR}/rig/run-wine --build ${CMAKE_BINARY_DIR} --display --seconds 300
        ${Q42_WINDOWS_BINARY_DIR_${arch}}/tests/ui_wine_test.exe --gtest_filter=${filter})
    set_tests_properties(ui_wine.${name}.${arch} PROPERTIES LABELS wine DISABLED ${disabled} RESOURCE_LOCK wineprefix
      TIMEOUT 360)
  endforeach()
endforeach()
