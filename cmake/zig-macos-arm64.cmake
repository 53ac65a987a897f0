# Cross build for macOS on Apple silicon with Zig (see zig-macos-common.cmake).
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(ZIG_TARGET aarch64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig-macos-common.cmake)
