#!/usr/bin/env bash
# The main job: installs what is missing, builds the installer, and runs it under Wine against the local
# backend. With a display, the wizard is shown for you to click through. Without one (or with
# WAYFARER_DEMO_RECORD=1), it runs on a virtual display, walks through the pages by itself and records a
# screenshot of every page in build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default --target wayfarer trustca
export WAYFARER_SCENARIO=${WAYFARER_SCENARIO:-$root/tools/backend/demo-scenario.json}
[ -f "$WAYFARER_SCENARIO" ] || unset WAYFARER_SCENARIO
if [ -n "${DISPLAY:-}" ] && [ -z "${WAYFARER_DEMO_RECORD:-}" ]; then
    exec tools/sandbox.sh tools/wine-run win64 build/QuarvelSetup.exe
fi
unset DISPLAY
exec tools/sandbox.sh bash tools/demo-record.sh
