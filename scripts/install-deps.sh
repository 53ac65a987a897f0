#!/usr/bin/env bash
# Installs what building and testing tarnwick needs, when it is missing.
#   scripts/install-deps.sh           everything (native, Windows and macOS cross
#                                     builds, Wine tests)
#   scripts/install-deps.sh --native  only what the native build and the demo need
#   scripts/install-deps.sh --macos   only what the macOS cross builds need
# Installing Debian's packages needs root (apt-get); without it the missing
# ones are listed.  Zig, the compiler of the macOS builds, comes from the npm
# registry into the user's cache folder (see install_zig below).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=all
case "${1:-}" in
--native) mode=native ;;
--macos) mode=macos ;;
esac

missing=()
need() { # need PACKAGE TEST-COMMAND...
    local package=$1
    shift
    "$@" >/dev/null 2>&1 || missing+=("$package")
}

need cmake command -v cmake
need ninja-build command -v ninja
need python3 test -x /usr/bin/python3
if [ $mode != macos ]; then
    need g++ command -v g++
    need libgtest-dev test -e /usr/lib/x86_64-linux-gnu/libgtest.a -o -e /usr/lib/libgtest.a -o -e /usr/lib/aarch64-linux-gnu/libgtest.a
    need default-jdk-headless command -v javac
fi
if [ $mode != native ]; then
    # The client of the npm registry, which Zig comes from.
    need npm command -v npm
fi
if [ $mode = all ]; then
    # A real command-line Java program, started in tool mode beside its own
    # start script by the native tests.
    need ant test -e /usr/share/ant/lib/ant-launcher.jar
    need g++-mingw-w64-x86-64 command -v x86_64-w64-mingw32-g++
    need binutils-mingw-w64-x86-64 command -v x86_64-w64-mingw32-objdump
    need wine command -v wine
    need wine64 test -e /usr/lib/wine/wine64
    # The 32-bit build and its Wine tests.
    need g++-mingw-w64-i686 command -v i686-w64-mingw32-g++
    need binutils-mingw-w64-i686 command -v i686-w64-mingw32-objdump
    need wine32:i386 test -e /usr/lib/wine/wine
    need xvfb command -v Xvfb
    need xdotool command -v xdotool
    need icoutils command -v wrestool
    need python3-pefile /usr/bin/python3 -c "import pefile"
    # Signing the exe in the tests, as the docs show it.
    need osslsigncode command -v osslsigncode
    need openssl command -v openssl
    need clang command -v clang++
    # scripts/format-check.sh, against the style .clang-format describes.
    need clang-format command -v clang-format
    need libclang-rt-14-dev sh -c 'ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a'
fi

if [ ${#missing[@]} != 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages (install them as root): ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    case " ${missing[*]} " in
    *:i386*) dpkg --add-architecture i386 ;;
    esac
    apt-get update -q >/dev/null
    apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# Zig (the C and C++ compiler of the macOS cross builds, and nothing that is
# shipped) from the npm registry: the package, version and integrity that
# cmake/zig.lock names, into the folder cmake/zig-macos-common.cmake looks in.
# The package file is checked against the lock before anything of it is
# unpacked; the folder takes its name only when complete.
install_zig() {
    local package version integrity dir archive actual
    package=$(sed -n 's/^package //p' cmake/zig.lock)
    version=$(sed -n 's/^version //p' cmake/zig.lock)
    integrity=$(sed -n 's/^integrity //p' cmake/zig.lock)
    dir=${XDG_CACHE_HOME:-$HOME/.cache}/tarnwick/zig-$version
    if [ -x "$dir/zig" ] && [ "$("$dir/zig" version 2>/dev/null)" = "$version" ]; then
        return 0
    fi
    echo "Installing: $package@$version into $dir"
    mkdir -p "$(dirname "$dir")"
    # Global, for the trap that removes it whatever the script's end.
    work=$(mktemp -d "$(dirname "$dir")/install.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    archive=$(cd "$work" && npm pack --silent --ignore-scripts "$package@$version")
    actual=sha512-$(python3 -c 'import base64, hashlib, sys
print(base64.b64encode(hashlib.sha512(open(sys.argv[1], "rb").read()).digest()).decode())' "$work/$archive")
    if [ "$actual" != "$integrity" ]; then
        echo "$package@$version: integrity $actual, cmake/zig.lock says $integrity" >&2
        exit 1
    fi
    tar -xzf "$work/$archive" -C "$work"
    rm -rf "$dir"
    mv "$work/package" "$dir"
}
[ $mode = native ] || install_zig
