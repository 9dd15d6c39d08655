#!/usr/bin/env bash
# The main job: installs what is missing, builds the installer in its four flavours (ISV with the brand, ISV
# without it, ISV with Sorrel, DLM), and runs the whole wizard under Wine against the local backend, which serves
# the demo scenario of tools/demo/ (a configuration with two offers and their images, installers of a few MiB
# that are our stand-in installer).
#
# With a display, the wizard of one flavour is shown for you to click through (WAYFARER_DEMO_FLAVOUR: default,
# nobrand, sorrel or dlm; default by default). Without one (or with WAYFARER_DEMO_RECORD=1), every flavour runs
# on a virtual display, walked by tools/win/wizard_driver.exe, and a picture of every page is recorded into
# build/demo/<flavour>/ (build-x64/demo/ on a machine without 32-bit code; with WAYFARER_DEMO_DPI=N, at N DPI,
# into build/demo-N/<flavour>/, on a virtual screen large enough for the window); the script prints where they are,
# which installers ran and what the analytics endpoint received, where each run's log is and its last lines, and
# the dry run of the scenario's answer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
source tools/arch.sh
build=$WAYFARER_TEST_BUILD
[ -f "$build/build.ninja" ] || cmake --preset "$WAYFARER_TEST_PRESET" >/dev/null
cmake --build --preset "$WAYFARER_TEST_PRESET" --target wayfarer wayfarer_explain trustca fake_installer wizard_driver
flavours=(default nobrand sorrel dlm)
record=${WAYFARER_DEMO_RECORD:-}
[ -n "${DISPLAY:-}" ] || record=1
if [ -z "$record" ]; then
    flavours=("${WAYFARER_DEMO_FLAVOUR:-default}")
fi
for flavour in "${flavours[@]}"; do
    [ "$flavour" = default ] && continue
    [ -f "build-$flavour$WAYFARER_TEST_SUFFIX/build.ninja" ] || cmake --preset "$flavour$WAYFARER_TEST_SUFFIX" >/dev/null
    cmake --build --preset "$flavour$WAYFARER_TEST_SUFFIX" --target wayfarer
done

mkdir -p "$build/demo"
python3 tools/demo/make-scenario.py "$build/tools/win/fake_installer.exe" "$build/demo/scenario.json"
export WAYFARER_SCENARIO=$root/$build/demo/scenario.json
export WAYFARER_BUILD_DIR=$root/$build

if [ -z "$record" ]; then
    folder=$build
    [ "${flavours[0]}" = default ] || folder="build-${flavours[0]}$WAYFARER_TEST_SUFFIX"
    exec tools/sandbox.sh tools/wine-run win64 "$folder/QuarvelSetup.exe"
fi
unset DISPLAY
exec tools/sandbox.sh bash tools/demo-record.sh "${flavours[@]}"
