# What the macOS cross builds share: Zig's C and C++ compiler (clang, with
# the macOS headers and the stubs of its system libraries) and Zig's archiver.
# It compiles and links, nothing more: what is shipped for macOS is built on a
# Mac.  The toolchain file of each architecture sets CMAKE_SYSTEM_PROCESSOR
# and ZIG_TARGET, then includes this.
set(CMAKE_SYSTEM_NAME Darwin)

# Where scripts/install-deps.sh puts the version cmake/zig.lock names:
# $XDG_CACHE_HOME/tarnwick, else ~/.cache/tarnwick.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/zig.lock _zig_version REGEX "^version ")
string(REPLACE "version " "" _zig_version "${_zig_version}")
if(DEFINED ENV{XDG_CACHE_HOME})
  set(_zig_home $ENV{XDG_CACHE_HOME})
else()
  set(_zig_home $ENV{HOME}/.cache)
endif()
set(TARNWICK_ZIG ${_zig_home}/tarnwick/zig-${_zig_version}/zig CACHE FILEPATH
    "The zig executable of the macOS cross builds (scripts/install-deps.sh installs it)")
if(NOT EXISTS ${TARNWICK_ZIG})
  message(FATAL_ERROR "No Zig at ${TARNWICK_ZIG}: scripts/install-deps.sh installs it")
endif()

# A compiler given as a list is the program and its first argument.
set(CMAKE_C_COMPILER ${TARNWICK_ZIG} cc)
set(CMAKE_CXX_COMPILER ${TARNWICK_ZIG} c++)
set(CMAKE_C_COMPILER_TARGET ${ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${ZIG_TARGET})
# Archives by Zig's own archiver: Zig's linker refuses GNU ar's archives of
# Mach-O objects (their symbol table is not one it reads), and the build
# should not depend on which other archiver the machine has.
foreach(_lang C CXX)
  set(CMAKE_${_lang}_ARCHIVE_CREATE "${TARNWICK_ZIG} ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${_lang}_ARCHIVE_APPEND "${TARNWICK_ZIG} ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${_lang}_ARCHIVE_FINISH "${TARNWICK_ZIG} ranlib <TARGET>")
endforeach()

# Read after CMake's own rules for the compiler (zig-macos-rules.cmake).
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/zig-macos-rules.cmake)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
