#!/usr/bin/env bash
# Inside the sandbox: runs the installer of each flavour named on the command line (default, nobrand, sorrel,
# dlm) on the virtual display, walked by the wizard driver, and records a picture of every page into
# build/demo/<flavour>/. Prints the pages, the installers that ran and the analytics records of each run, where
# its run log is and the log's last lines; then the dry run (wayfarer-explain) of the scenario's answer.
#
# With WAYFARER_DEMO_DPI=N the wizard runs at N DPI (96 is 100 %, 192 is 200 %) on a virtual screen of its own,
# as much larger as the window grows, and the pictures go to build/demo-N/<flavour>/. The scale is set in the Wine
# prefix for the demo's run and put back when it ends, however it ends; a demo killed outright leaves a mark of the
# scale to put back, and the next sandbox on the build folder puts it back (demo-record.sh --restore-scale) before
# anything runs in the prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$WAYFARER_BUILD_DIR
driver="$build/tools/win/wizard_driver.exe"
demo="$build/demo"
dpi=${WAYFARER_DEMO_DPI:-}
# The prefix's own scale while a demo runs at another: a number, or "none" when it had none.
scaleMark="$build/sandbox/demo-scale-saved"
prefixReg() { "$root/tools/wine-run" win64 reg "$@" </dev/null >/dev/null 2>&1; }
restoreScale() {
    [ -f "$scaleMark" ] || return 0
    local saved
    saved=$(cat "$scaleMark")
    if [ "$saved" != none ]; then
        prefixReg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$((saved))" /f
    else
        prefixReg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f || true
    fi || { echo "demo: the prefix's display scale could not be put back to $saved" >&2; return 1; }
    rm -f "$scaleMark"
}
if [ "${1:-}" = --restore-scale ]; then
    restoreScale
    exit
fi
if [ -n "$dpi" ]; then
    case "$dpi" in
        *[!0-9]* | "") echo "WAYFARER_DEMO_DPI must be a number of dots per inch, such as 192" >&2; exit 2 ;;
    esac
    demo="$build/demo-$dpi"
    # A screen of 1280 x 1024 at 96 DPI holds the window with room to spare; at N DPI the window is N/96 times as
    # large, and a screen too small would leave it clipped, unpainted bands in the pictures.
    width=$(( (1280 * dpi + 95) / 96 ))
    height=$(( (1024 * dpi + 95) / 96 ))
    screen="$build/sandbox/demo-display"
    rm -f "$screen"
    Xvfb -displayfd 7 -screen 0 "${width}x${height}x24" -nolisten tcp 7>"$screen" 2>"$build/sandbox/demo-xvfb.log" &
    xvfb=$!
    for _ in $(seq 1 200); do
        [ -s "$screen" ] && break
        sleep 0.1
    done
    [ -s "$screen" ] || { echo "demo: the virtual screen of ${width}x${height} did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n 1 "$screen")"
    # A mark left by a demo that was killed holds the prefix's own scale: it is put back first.
    restoreScale
    saved=$("$root/tools/wine-run" win64 reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null |
        tr -d '\r' | awk '$1 == "LogPixels" { print $3 }' || true)
    echo "${saved:-none}" >"$scaleMark"
    trap 'restoreScale || true; kill "$xvfb" 2>/dev/null || true' EXIT
    # Without these a signal ends the script without its EXIT trap.
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    prefixReg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
    echo "demo: at $dpi DPI on a virtual screen of ${width}x${height}"
fi

records() {
    python3 - "$@" <<'PY'
import json, ssl, sys, urllib.request
context = ssl.create_default_context(cafile=sys.argv[1])
context.check_hostname = False
answer = urllib.request.urlopen("https://127.0.0.1/__control/requests?path=/zbd", context=context).read()
for request in json.loads(answer)["requests"]:
    import base64
    data = json.loads(json.loads(base64.b64decode(request["body"]))["data"])
    text = data.get("12") or data.get("13") or ""
    print("  event: state %-2s %-12s %s" % (data.get("6"), data.get("5"), text))
PY
}
reset() {
    python3 - "$1" <<'PY'
import ssl, sys, urllib.request
context = ssl.create_default_context(cafile=sys.argv[1])
context.check_hostname = False
urllib.request.urlopen(urllib.request.Request("https://127.0.0.1/__control/reset", data=b'{"scenario": true}',
                                              method="POST"), context=context).read()
PY
}

# The newest run log in the prefix's temporary folders, made after the file $1.
runlog() {
    find "$build/wine" -path '*/Temp/*' -name 'Quarvel Setup *.log' -newer "$1" -printf '%T@ %p\n' 2>/dev/null |
        sort -n | tail -1 | cut -d' ' -f2-
}

for flavour in "$@"; do
    folder=$build
    [ "$flavour" = default ] || folder="$root/build-$flavour${WAYFARER_TEST_SUFFIX:-}"
    out="$demo/$flavour"
    rm -rf "$out"
    mkdir -p "$out"
    reset "$WAYFARER_CERTS/ca.pem"
    log="$out/installers.log"
    touch "$out/started"
    echo "demo: $flavour ($folder/QuarvelSetup.exe)"
    WAYFARER_FAKE_INSTALLER_LOG="Z:$log" "$root/tools/wine-run" win64 "$driver" "Z:$folder/QuarvelSetup.exe" \
        --shots "Z:$out" --pause 1500 | tr -d '\r' | sed 's/^/  /'
    for shot in "$out"/*.bmp; do
        [ -e "$shot" ] || continue
        convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
    done
    if [ -f "$log" ]; then
        tr -d '\r' <"$log" | cut -f2 | sed 's/^/  installer ran: /'
    fi
    records "$WAYFARER_CERTS/ca.pem"
    runLog=$(runlog "$out/started")
    if [ -n "$runLog" ]; then
        echo "  run log: $runLog (last lines):"
        tail -n 8 "$runLog" | tr -d '\r' | sed 's/^/    /'
    else
        echo "  run log: none found"
    fi
    rm -f "$out/started"
    echo "  pictures: $out"
done
if [ -f "$build/wayfarer-explain.exe" ]; then
    reset "$WAYFARER_CERTS/ca.pem"
    echo "dry run of the scenario's answer: wayfarer-explain --url https://localhost/o"
    "$root/tools/wine-run" win64 "$build/wayfarer-explain.exe" --url https://localhost/o | tr -d '\r' | sed 's/^/  /'
fi
