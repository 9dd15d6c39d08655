#!/usr/bin/env bash
# Times the registry and file presence rules of one evaluation run (50 offers of 20 probes each) against a
# registry holding a few thousand vendor keys, with the per-run subkey listing and without it, in the 64-bit
# and the 32-bit prefix. The keys are created for the run and removed after it.
# Usage: tools/bench-presence.sh [runs]   (default 5 runs of each kind)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/arch.sh
runs=${1:-5}
if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    bash tools/setup.sh
    [ -f "$WAYFARER_TEST_BUILD/build.ninja" ] || cmake --preset "$WAYFARER_TEST_PRESET" >/dev/null
    cmake --build --preset "$WAYFARER_TEST_PRESET" --target bench_presence trustca >/dev/null
    exec tools/sandbox.sh "$0" "$@"
fi
for prefix in win64 win32; do
    echo "== $prefix"
    tools/wine-run "$prefix" "$root/$WAYFARER_TEST_BUILD/tools/win/bench_presence.exe" "$runs" | tr -d '\r'
done
