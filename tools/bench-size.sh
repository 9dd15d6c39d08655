#!/usr/bin/env bash
# Prints the installer's size (stripped, static, unpacked), the DLLs it needs, and what its bytes are made of:
# the output sections, the input files and the single functions that weigh most, read from the linker's map.
# Usage: tools/bench-size.sh [count]   (default 25 lines per list)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
count=${1:-25}
bash tools/setup.sh
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default --target wayfarer minimal_dialog >/dev/null
exe=build/QuarvelSetup.exe
size=$(stat -c %s "$exe")
budget=$(sed -n 's/^set(WAYFARER_SIZE_BUDGET \([0-9]*\)).*/\1/p' cmake/SizeBudget.cmake)
printf 'size: %s %d bytes (budget %d), minimal_dialog.exe %d bytes\n' "$(basename "$exe")" "$size" "$budget" \
    "$(stat -c %s build/tools/win/minimal_dialog.exe)"
printf 'DLLs it loads: %s\n' "$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f | tr '\n' ' ')"
python3 tools/size-report.py build/QuarvelSetup.map "$count"
