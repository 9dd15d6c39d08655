#!/usr/bin/env bash
# Inside the sandbox: runs the installer on the virtual display and screenshots each page as it appears.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$WAYFARER_BUILD_DIR/demo"
rm -rf "$out"
mkdir -p "$out"

"$root/tools/wine-run" win64 "$WAYFARER_BUILD_DIR/QuarvelSetup.exe" &
installer=$!

shot() {
    sleep 1
    import -window root -crop "$(xdotool getwindowgeometry --shell "$frame" | awk -F= '/WIDTH/{w=$2}/HEIGHT/{h=$2}/^X/{x=$2}/^Y/{y=$2}END{print w"x"h"+"x"+"y}')" \
        "$out/$1.png"
    echo "demo: recorded $out/$1.png"
}

frame=$(xdotool search --sync --onlyvisible --name '^Quarvel $' | head -n 1)
shot 01-frame

kill "$installer" 2>/dev/null || true
WINEPREFIX="$WAYFARER_BUILD_DIR/wine/win64" wineserver -k 2>/dev/null || true
wait "$installer" 2>/dev/null || true
echo "demo: screenshots in $out"
