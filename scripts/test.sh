#!/usr/bin/env bash
# The whole test suite: checks that every C and C++ file is formatted as
# .clang-format says, builds the Windows exes (MinGW-w64, x64 and x86), the
# macOS programs (Apple silicon and Intel: compiled, linked and checked by
# scripts/macos-check.sh, not run) and the native launcher, then runs through
# CTest the unit tests, the native end-to-end tests with the real JVM, the exe
# check and the end-to-end tests of tarnwick.exe under Wine; then each fuzz
# target for 30 seconds, and the unit and native tests again, built with
# AddressSanitizer and UndefinedBehaviorSanitizer.  Installs what is missing
# first (as root).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/format-check.sh

cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
scripts/macos-check.sh
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2

scripts/fuzz.sh 30

cmake --preset asan >/dev/null
cmake --build --preset asan
# The Windows and package checks do not depend on how the native side is built.
ctest --preset asan -j2 -E 'wine|exe_check|packages'
