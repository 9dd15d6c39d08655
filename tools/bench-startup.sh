#!/usr/bin/env bash
# Prints the installer's size and its start-up time (process start to the frame window shown) beside a
# minimal Win32 dialog program built the same way, measured in one run under Wine on a virtual display, and then
# where the time goes in each, from Wine's trace of one more start.
# Usage: tools/bench-startup.sh [runs]   (default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/arch.sh
runs=${1:-10}
if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    bash tools/setup.sh
    [ -f "$WAYFARER_TEST_BUILD/build.ninja" ] || cmake --preset "$WAYFARER_TEST_PRESET" >/dev/null
    cmake --build --preset "$WAYFARER_TEST_PRESET" --target wayfarer minimal_dialog startup_timer trustca >/dev/null
    unset DISPLAY
    exec tools/sandbox.sh "$0" "$@"
fi
exe=$WAYFARER_TEST_BUILD/QuarvelSetup.exe
minimal=$WAYFARER_TEST_BUILD/tools/win/minimal_dialog.exe
# Both programs are timed the same way: the shipped build where 32-bit code runs (natively, or through the emulator
# that tools/sandbox.sh sets up, which slows both), else the x86-64 build made the same way.
case "$WAYFARER_I386" in
    native) how="the shipped 32-bit build, run natively" ;;
    emulated) how="the shipped 32-bit build, Wine's 32-bit loader run by qemu's user-mode emulator" ;;
    *) how="the x86-64 build made the same way (no 32-bit code runs here)" ;;
esac
echo "timed: $exe and $minimal: $how"
printf 'size: %s %d bytes, %s %d bytes\n' "$(basename $exe)" "$(stat -c %s $exe)" "$(basename $minimal)" "$(stat -c %s $minimal)"
# The timer runs inside Wine and times from CreateProcess to the first visible top-level window.
out=$(tools/wine-run win64 $WAYFARER_TEST_BUILD/tools/win/startup_timer.exe "$runs" "Z:$root/$minimal" "Z:$root/$exe" | tr -d '\r')
echo "$out"
base=$(echo "$out" | sed -n 1p | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
ours=$(echo "$out" | sed -n 2p | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
awk -v a="$ours" -v b="$base" 'BEGIN { if (b > 0) printf "start-up ratio (installer / minimal dialog, medians): %.2f\n", a / b }'
# The best runs are the least disturbed by other work on the machine: their ratio is the steadier figure there.
baseBest=$(echo "$out" | sed -n 1p | sed -E 's/.*best ([0-9.]+) ms.*/\1/')
oursBest=$(echo "$out" | sed -n 2p | sed -E 's/.*best ([0-9.]+) ms.*/\1/')
awk -v a="$oursBest" -v b="$baseBest" 'BEGIN { if (b > 0) printf "start-up ratio (installer / minimal dialog, best runs): %.2f\n", a / b }'
# Where the time goes: one more start of each under Wine's tracer (which slows both), milestones from its trace.
trace=$(mktemp)
for program in "$minimal" "$exe"; do
    WINEDEBUG=+timestamp,+loaddll,+win tools/wine-run win64 $WAYFARER_TEST_BUILD/tools/win/startup_timer.exe 1 "Z:$root/$program" \
        >/dev/null 2>"$trace" || true
    echo "where the time goes in $(basename "$program") (one traced start; tracing slows it):"
    python3 tools/startup-trace.py "$trace" "$(basename "$program")"
done
rm -f "$trace"
# Each terminated installer leaves its empty temporary folder behind.
rm -rf $WAYFARER_TEST_BUILD/wine/win64/drive_c/users/*/AppData/Local/Temp/ISV*.tmp 2>/dev/null || true
