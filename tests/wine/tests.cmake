# End-to-end tests of the Windows build under Wine, and the check of the
# executable itself.  Included from the native build's tests/CMakeLists.txt,
# which finds the Python they run under (TARNWICK_PYTHON); the Windows cross
# build (cmake --preset windows) must have been built first, into
# TARNWICK_WINDOWS_BUILD_DIR.
#
# A missing Windows build, Wine or pefile makes these tests fail.  With the
# environment variable TARNWICK_ALLOW_SKIP set they print why and report
# "skipped" (exit code 77) instead.
#
# The Wine test files share one Wine prefix and one wineserver, so they never
# run at the same time (RESOURCE_LOCK wine); the harness also holds a file
# lock on the prefix.

if(NOT DEFINED TARNWICK_WINDOWS_BUILD_DIR)
  set(TARNWICK_WINDOWS_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/windows)
endif()
if(NOT DEFINED TARNWICK_WINDOWS_X86_BUILD_DIR)
  set(TARNWICK_WINDOWS_X86_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/windows-x86)
endif()

set(_tarnwick_wine_dir ${CMAKE_CURRENT_LIST_DIR})

add_test(NAME exe_check
  COMMAND ${TARNWICK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/exe_check.py
          ${TARNWICK_WINDOWS_BUILD_DIR}/tarnwick.exe)
add_test(NAME exe_check.x86
  COMMAND ${TARNWICK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/exe_check.py
          ${TARNWICK_WINDOWS_X86_BUILD_DIR}/tarnwick.exe)
add_test(NAME exe_check.console
  COMMAND ${TARNWICK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/exe_check.py
          ${TARNWICK_WINDOWS_BUILD_DIR}/tarnwick-console.exe)
add_test(NAME exe_check.console.x86
  COMMAND ${TARNWICK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/exe_check.py
          ${TARNWICK_WINDOWS_X86_BUILD_DIR}/tarnwick-console.exe)
set_tests_properties(exe_check exe_check.x86 exe_check.console exe_check.console.x86
                     PROPERTIES SKIP_RETURN_CODE 77 LABELS "windows")

foreach(_file test_launch test_options test_registry test_errors test_config
              test_runtime_version test_bad_input test_discovery test_x86
              test_unicode test_brand test_console)
  string(REGEX REPLACE "^test_" "" _name ${_file})
  add_test(NAME wine.${_name}
    COMMAND ${TARNWICK_PYTHON} ${_tarnwick_wine_dir}/${_file}.py)
  set_tests_properties(wine.${_name} PROPERTIES
    ENVIRONMENT "TARNWICK_WINDOWS_BUILD_DIR=${TARNWICK_WINDOWS_BUILD_DIR};TARNWICK_WINDOWS_X86_BUILD_DIR=${TARNWICK_WINDOWS_X86_BUILD_DIR};TARNWICK_BRAND=$<TARGET_FILE:tarnwick-brand>"
    RESOURCE_LOCK wine
    SKIP_RETURN_CODE 77
    TIMEOUT 600
    LABELS "windows;wine")
endforeach()
