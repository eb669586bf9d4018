# Every test binary runs under Wine through the wrapper that the build configures for its
# own prefix; ctest starts it as the cross-compiling emulator.

# A 64-bit build runs in a 64-bit prefix; scripts/wine-session.sh reads the same choice.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PH_WINEARCH win64)
else()
  set(PH_WINEARCH win32)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/wine-arch ${PH_WINEARCH})
configure_file(${PROJECT_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh CACHE FILEPATH "" FORCE)

# ctest multiplies every time-out by PH_TEST_TIME_SCALE from its environment: the one setting
# that also stretches the tests' own deadlines (tests/support/TestTime.h), raised by
# `make test-under-load`. The scaled time-out also reaches the test as PH_TEST_TIMEOUT, for
# wine-run.sh's stack dump. ctest reads a folder's include files before that folder's own
# tests, so the scaled values go into one file that the last folder, cmake/scaled-timeouts,
# includes once every test is known.
set(PH_TIME_SCALE_FILE ${CMAKE_BINARY_DIR}/ph_time_scale.cmake)
file(WRITE ${PH_TIME_SCALE_FILE} [=[
set(scale 1)
if("$ENV{PH_TEST_TIME_SCALE}" MATCHES "^[1-9][0-9]?$")
  set(scale $ENV{PH_TEST_TIME_SCALE})
endif()
]=])

function(ph_scale_timeout name seconds)
  file(APPEND ${PH_TIME_SCALE_FILE}
       "math(EXPR timeout \"${seconds} * \${scale}\")\n"
       "set_tests_properties(${name} PROPERTIES TIMEOUT \${timeout} ENVIRONMENT PH_TEST_TIMEOUT=\${timeout})\n")
endfunction()

# ph_add_test(NAME SOURCES ... [LIBS ...] [TIMEOUT seconds] [LABELS ...])
# One GoogleTest binary, one ctest entry: its test cases run inside one Wine process.
# The label "faults" marks the fault and load suite: `make faults` runs it at full scale.
function(ph_add_test name)
  cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gmock_main)
  ph_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  ph_scale_timeout(${name} ${arg_TIMEOUT})
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()
