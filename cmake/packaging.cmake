# What a release holds: the launcher (on Windows both: the windowed
# tarnwick.exe and tarnwick-console.exe for command-line tools), the tool
# that brands a copy of it (tarnwick-brand), an example configuration, the
# README and the docs/ folder it links to, and SHA256SUMS.  `cpack` in a
# build tree makes the package: a zip from the Windows build, a tar.gz from
# the native one.
install(TARGETS tarnwick tarnwick-brand RUNTIME DESTINATION .)
if(WIN32)
  install(TARGETS tarnwick-console RUNTIME DESTINATION .)
endif()
install(FILES examples/example.config DESTINATION .)
install(DIRECTORY docs/ DESTINATION docs)
# Last, once CPack has stripped the programs: the README with opening lines
# for the package instead of the source tree's, and the checksums.
install(CODE "set(TARNWICK_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
set(TARNWICK_EXE_SUFFIX \"${CMAKE_EXECUTABLE_SUFFIX}\")
include(\"${CMAKE_SOURCE_DIR}/cmake/package_finish.cmake\")")

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "tarnwick")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A small, dependable launcher for Java applications")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP) # the exe is stripped when it is linked
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME windows-x86)
  else()
    set(CPACK_SYSTEM_NAME windows-x64)
  endif()
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_STRIP_FILES ON)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
endif()
include(CPack)
