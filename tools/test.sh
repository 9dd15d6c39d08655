#!/usr/bin/env bash
# Installs what is missing, builds the installer and its tests, and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default
# The whole-run tests also run the other flavours' installers: only their installer is built.
for flavour in nobrand sorrel dlm; do
    [ -f "build-$flavour/CMakeCache.txt" ] || cmake --preset "$flavour" >/dev/null
    cmake --build --preset "$flavour" --target wayfarer
done
tools/sandbox.sh ctest --test-dir build --output-on-failure -j2 "$@"
