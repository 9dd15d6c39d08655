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

# Presses a key in the installer's window the way a user would: the window gets the keyboard focus first.
press() {
    xdotool windowactivate --sync "$frame" 2>/dev/null || xdotool windowfocus --sync "$frame"
    xdotool key --clearmodifiers "$1"
}

# Clicks the button at the right end of the page's button band (Next, Agree, Accept), found from the frame's
# geometry: it spans 87 to 95% of the frame's width and 88 to 96% of its height.
click_forward() {
    eval "$(xdotool getwindowgeometry --shell "$frame")"
    xdotool mousemove --sync $((X + WIDTH * 91 / 100)) $((Y + HEIGHT * 92 / 100)) click 1
}

frame=$(xdotool search --sync --onlyvisible --name '^Quarvel $' | head -n 1)
# The wizard opens on its language page.
shot 01-language-page

# Enter presses Next: the loading page follows.
press Return
shot 02-loading-page

# After loading: the license page (the welcome page without the brand flavour). Its forward button, like
# Accept on the product pages, sits at the right end of the button band.
sleep 2
shot 03-license-or-welcome-page
click_forward
shot 04-product-page
click_forward
shot 05-next-product-page

kill "$installer" 2>/dev/null || true
WINEPREFIX="$WAYFARER_BUILD_DIR/wine/win64" wineserver -k 2>/dev/null || true
wait "$installer" 2>/dev/null || true
echo "demo: screenshots in $out"
