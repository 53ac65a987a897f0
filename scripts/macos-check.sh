#!/usr/bin/env bash
# Compiles and links the launcher and tarnwick-brand for macOS, for Apple
# silicon and for Intel Macs (the macos-arm64 and macos-x64 presets, built
# with Zig, warnings as errors), and checks that each program is a 64-bit
# Mach-O executable of its architecture.  Nothing is run: see "On Linux and
# macOS" in the README.  Installs Zig first when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --macos

# check_macho FILE CPU: the Mach-O header's magic (64-bit), CPU type and file
# type (MH_EXECUTE, 2), read as the little-endian words both Macs use.
check_macho() {
    local file=$1 cpu=$2 words
    read -r -a words < <(od -An -tx4 -N16 --endian=little "$file") || true
    if [ "${words[0]:-}" != feedfacf ] || [ "${words[1]:-}" != "$cpu" ] ||
        [ "${words[3]:-}" != 00000002 ]; then
        echo "$file: not a 64-bit Mach-O executable for CPU type $cpu" \
            "(magic ${words[0]:-none}, CPU type ${words[1]:-none}, file type ${words[3]:-none})" >&2
        return 1
    fi
    echo "$file: Mach-O 64-bit executable, CPU type $cpu"
}

# The CPU types of <mach/machine.h>: CPU_TYPE_ARM64 and CPU_TYPE_X86_64.
for target in macos-arm64:0100000c macos-x64:01000007; do
    preset=${target%:*}
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
    check_macho "build/$preset/tarnwick" "${target#*:}"
    check_macho "build/$preset/tools/brand/tarnwick-brand" "${target#*:}"
done
