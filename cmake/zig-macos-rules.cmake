# Read after CMake's rules for clang on Apple systems: those learn the
# compiler's ABI with "-v -Wl,-v", and Zig's linker takes no -v (the build
# would go on without knowing the size of a pointer).
set(CMAKE_C_VERBOSE_FLAG "-v")
set(CMAKE_CXX_VERBOSE_FLAG "-v")
