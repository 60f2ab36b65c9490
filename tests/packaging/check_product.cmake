# Checks of the shipped program file, run by CTest in the native build:
#   cmake -DCHECK=<imports|reproducible|container> -D... -P check_product.cmake
# imports:      OBJDUMP, EXE     - the program needs no DLL beyond those of Windows itself
# reproducible: EXE, RELINK, SOURCE_DIR, BUILD_DIR
#                                - two links of the same objects give the same bytes, with no
#                                  time stamp and no path of the build machine in them
# container:    Q42PACK, PACKED, IMAGE
#                                - the product carries the whole image in its container, and
#                                  its SHA-256
# windows7:     OBJDUMP, EXE, KNOWN
#                                - every function the program imports is on the list KNOWN,
#                                  each judged available on Windows 7, and the header asks
#                                  for no later Windows
# version:      WINDRES, EXE, VERSION, PROCESSOR
#                                - the version block names the product, its maker and
#                                  VERSION; the manifest names no other processor and
#                                  asks for per-monitor DPI awareness (Wine ignores it, so
#                                  only this check sees it)
cmake_minimum_required(VERSION 3.20)

# The DLLs that every Windows installation has; anything else would have to ship beside us.
set(windows_dlls
  advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll
  ole32.dll oleaut32.dll setupapi.dll shell32.dll user32.dll version.dll winmm.dll ws2_32.dll)

function(fail)
  string(JOIN "" message ${ARGN})
  message(FATAL_ERROR "${message}")
endfunction()

# Little-endian 32-bit value at offset in file.
function(read_u32 file offset result)
  file(READ "${file}" hex OFFSET ${offset} LIMIT 4 HEX)
  string(SUBSTRING "${hex}" 0 2 b0)
  string(SUBSTRING "${hex}" 2 2 b1)
  string(SUBSTRING "${hex}" 4 2 b2)
  string(SUBSTRING "${hex}" 6 2 b3)
  math(EXPR value "0x${b3}${b2}${b1}${b0}")
  set(${result} ${value} PARENT_SCOPE)
endfunction()

# Whether text occurs in the file's bytes (compared as hex digits, on byte boundaries).
function(file_contains file text result)
  file(READ "${file}" content HEX)
  string(HEX "${text}" needle)
  set(found FALSE)
  set(from 0)
  while(TRUE)
    string(SUBSTRING "${content}" ${from} -1 rest)
    string(FIND "${rest}" "${needle}" at)
    if(at EQUAL -1)
      break()
    endif()
    math(EXPR position "${from} + ${at}")
    math(EXPR odd "${position} % 2")
    if(odd EQUAL 0)
      set(found TRUE)
      break()
    endif()
    math(EXPR from "${position} + 1")
  endwhile()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "imports")
  execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("objdump could not read ${EXE}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  if(NOT imports)
    fail("no import table found in ${EXE}")
  endif()
  foreach(line IN LISTS imports)
    string(REGEX REPLACE "DLL Name: ([^ \t\r]+).*" "\\1" dll "${line}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST windows_dlls)
      fail("${EXE} needs ${dll}, which Windows does not have")
    endif()
  endforeach()

elseif(CHECK STREQUAL "windows7")
  execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("objdump could not read ${EXE}")
  endif()
  file(STRINGS ${KNOWN} known REGEX "^[^#]")
  # objdump lists each DLL's imports under its name: "<vma>  <hint>  <function>".
  string(REPLACE "\n" ";" lines "${dump}")
  set(dll "")
  set(count 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\tDLL Name: ([^ \t\r]+)")
      string(TOLOWER "${CMAKE_MATCH_1}" dll)
    elseif(line STREQUAL "")
      set(dll "")
    elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([A-Za-z0-9_@?$]+)$")
      math(EXPR count "${count} + 1")
      if(NOT "${dll} ${CMAKE_MATCH_1}" IN_LIST known)
        fail("${EXE} imports ${CMAKE_MATCH_1} from ${dll}, which is not on ${KNOWN}: "
             "if Windows 7 has it, add the line \"${dll} ${CMAKE_MATCH_1}\" there")
      endif()
    elseif(dll AND line MATCHES "^\t[0-9a-f]+\t")
      fail("${EXE} imports from ${dll} what cannot be judged: ${line}")
    endif()
  endforeach()
  if(count EQUAL 0)
    fail("no imported function found in ${EXE}")
  endif()
  # Windows refuses a program whose header asks for a later version of itself.
  foreach(field IN ITEMS MajorOSystemVersion MajorSubsystemVersion)
    if(NOT dump MATCHES "${field}[ \t]+([0-9]+)")
      fail("no ${field} in the header of ${EXE}")
    endif()
    if(CMAKE_MATCH_1 GREATER 6)
      fail("${EXE} asks for Windows ${CMAKE_MATCH_1} or later (${field})")
    endif()
  endforeach()

elseif(CHECK STREQUAL "version")
  execute_process(COMMAND ${WINDRES} -i ${EXE} -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("windres could not read the resources of ${EXE}")
  endif()
  string(REPLACE "." ", " fixed "${VERSION}")
  foreach(expected IN ITEMS
      "FILEVERSION ${fixed}, 0" "PRODUCTVERSION ${fixed}, 0"
      "VALUE \"FileVersion\", \"${VERSION}.0\"" "VALUE \"ProductVersion\", \"${VERSION}.0\""
      "VALUE \"ProductName\", \"Q42Update\"" "VALUE \"CompanyName\", \"Quendar Avionics\"")
    string(FIND "${resources}" "${expected}" at)
    if(at EQUAL -1)
      fail("the version block of ${EXE} lacks ${expected}")
    endif()
  endforeach()
  # Windows will not start a program whose manifest names another processor for it.
  if(resources MATCHES "name=\"\"QuendarAvionics.Q42Update\"\"[^\n]*processorArchitecture=\"\"([^\"]*)\"\""
     AND NOT CMAKE_MATCH_1 STREQUAL PROCESSOR)
    fail("the manifest of ${EXE} names the processor ${CMAKE_MATCH_1}, not ${PROCESSOR}")
  endif()
  # Per-monitor v2 on Windows 10 1703 and later, per-monitor on 8.1, system aware on 7:
  # without it Windows stretches the windows as a bitmap, every text blurred.
  foreach(expected IN ITEMS "true/pm</dpiAware>" "PerMonitorV2, PerMonitor</dpiAwareness>")
    string(FIND "${resources}" "${expected}" at)
    if(at EQUAL -1)
      fail("the manifest of ${EXE} lacks ${expected}")
    endif()
  endforeach()

elseif(CHECK STREQUAL "reproducible")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXE} ${RELINK} RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    fail("two links of the same objects differ: ${EXE} and ${RELINK}")
  endif()
  read_u32(${EXE} 60 pe_offset)
  read_u32(${EXE} ${pe_offset} signature)
  if(NOT signature EQUAL 17744)  # "PE\0\0"
    fail("${EXE} is not a PE file")
  endif()
  math(EXPR stamp_offset "${pe_offset} + 8")
  read_u32(${EXE} ${stamp_offset} stamp)
  if(NOT stamp EQUAL 0)
    fail("${EXE} carries a link time stamp (${stamp})")
  endif()
  foreach(path IN ITEMS "${SOURCE_DIR}" "${BUILD_DIR}")
    file_contains(${EXE} "${path}" found)
    if(found)
      fail("${EXE} contains the build machine's path ${path}")
    endif()
  endforeach()

elseif(CHECK STREQUAL "container")
  file(SIZE ${IMAGE} image_size)
  execute_process(COMMAND ${Q42PACK} --show ${PACKED} OUTPUT_VARIABLE shown RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("q42pack finds no container in ${PACKED}: ${shown}")
  endif()
  file(SHA256 ${IMAGE} image_digest)
  if(NOT shown MATCHES "container: ${image_size} bytes, .*, SHA-256 ${image_digest}")
    fail("the container in ${PACKED} does not hold the ${image_size} bytes of ${IMAGE} with their SHA-256: ${shown}")
  endif()

else()
  fail("unknown CHECK '${CHECK}'")
endif()
