#!/usr/bin/env bash
# Installs what is missing, builds the installer and its tests, and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
source tools/arch.sh

# The installer itself is always built as what ships: the 32-bit program.
[ -f build/build.ninja ] || cmake --preset default >/dev/null
if [ "$WAYFARER_TEST_SUFFIX" = "" ]; then
    cmake --build --preset default
else
    cmake --build --preset default --target wayfarer
    [ -f "$WAYFARER_TEST_BUILD/build.ninja" ] || cmake --preset x64 >/dev/null
    cmake --build --preset x64
fi
# The whole-run tests also run the other flavours' installers: only their installer is built.
for flavour in nobrand sorrel dlm; do
    preset=$flavour$WAYFARER_TEST_SUFFIX
    [ -f "build-$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target wayfarer
done
WAYFARER_BUILD_DIR="$root/$WAYFARER_TEST_BUILD" tools/sandbox.sh \
    ctest --test-dir "$WAYFARER_TEST_BUILD" --output-on-failure -j2 "$@"
