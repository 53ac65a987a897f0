#!/usr/bin/env bash
# Builds the native launcher and starts the demo Java application through
# it, the way a user ships it: the launcher renamed to Demo beside
# Demo.config and the application's classes.  Extra arguments are passed on.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --native

cmake --preset native >/dev/null
cmake --build --preset native --target tarnwick demo_classes >/dev/null

app="$PWD/build/demo-app"
rm -rf "$app"
mkdir -p "$app"
cp build/native/tarnwick "$app/Demo"
cp examples/demo/Demo.config "$app/Demo.config"
cp -r build/native/demo/classes "$app/classes"

# Started by its full path, the launcher works in its own directory.
exec "$app/Demo" "$@"
