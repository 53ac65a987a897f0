#!/usr/bin/env bash
# Installs what building and testing tarnwick needs, when it is missing.
#   scripts/install-deps.sh           everything (native, Windows cross build, Wine tests)
#   scripts/install-deps.sh --native  only what the native build and the demo need
# Installing needs root (apt-get); without it the missing pieces are listed.
set -euo pipefail

native_only=0
[ "${1:-}" = "--native" ] && native_only=1

missing=()
need() { # need PACKAGE TEST-COMMAND...
    local package=$1
    shift
    "$@" >/dev/null 2>&1 || missing+=("$package")
}

need g++ command -v g++
need cmake command -v cmake
need ninja-build command -v ninja
need libgtest-dev test -e /usr/lib/x86_64-linux-gnu/libgtest.a -o -e /usr/lib/libgtest.a -o -e /usr/lib/aarch64-linux-gnu/libgtest.a
need default-jdk-headless command -v javac
need python3 test -x /usr/bin/python3
if [ $native_only = 0 ]; then
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

[ ${#missing[@]} = 0 ] && exit 0

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
