#!/usr/bin/env bash
# Downloads one large generated file from the local HTTPS backend twice in one run: with the installer's
# DownloadFile (under Wine, through tools/win/bench_download.exe) and with curl (on Linux, inside the same
# sandbox). Prints both throughputs and their ratio, the Windows process's peak memory as it reads it itself,
# and the number of progress messages the window received. Then how long DownloadFile (and the WinINet engine
# alone) take to give up on a server that drips its body a few bytes at a time and on a redirect loop, with the
# limits the installer ships with, and how many requests the server saw.
# Usage: tools/bench-download.sh [bytes] [runs]   (default 268435456 bytes = 256 MiB, 1 run each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/arch.sh
size=${1:-268435456}
runs=${2:-1}
if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    bash tools/setup.sh
    [ -f "$WAYFARER_TEST_BUILD/build.ninja" ] || cmake --preset "$WAYFARER_TEST_PRESET" >/dev/null
    cmake --build --preset "$WAYFARER_TEST_PRESET" --target bench_download trustca >/dev/null
    exec tools/sandbox.sh "$0" "$@"
fi

build=${WAYFARER_BUILD_DIR:-$root/$WAYFARER_TEST_BUILD}
ca="$WAYFARER_CERTS/ca.pem"
path=/bench/payload.bin
url="https://localhost$path"
curl -sS --fail --cacert "$ca" -X POST "https://localhost/__control/script" \
    -H 'Content-Type: application/json' \
    -d "{\"path\": \"$path\", \"responses\": [{\"bodySize\": $size}]}" >/dev/null

echo "payload: $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1048576 }') MiB) from $url"

# The installer's engine, under Wine.
win=$(tools/wine-run win64 "$root/$WAYFARER_TEST_BUILD/tools/win/bench_download.exe" "$url" "$runs" | tr -d '\r')
echo "$win" | sed 's/^/DownloadFile  /'
ours=$(echo "$win" | grep '^run' | sed -n 's/.*throughput \([0-9.]*\) MiB\/s.*/\1/p' | sort -n | tail -1)
bare=$(echo "$win" | grep '^bare' | sed -n 's/.*throughput \([0-9.]*\) MiB\/s.*/\1/p')

# curl, writing to disk as well so that both sides pay for the file.
out=$(mktemp -p "$build" bench-curl.XXXXXX)
trap 'rm -f "$out"' EXIT
best=0
for run in $(seq 1 "$runs"); do
    line=$(curl -sS --fail --cacert "$ca" -o "$out" -w '%{size_download} %{time_total}' "$url")
    bytes=${line% *}
    seconds=${line#* }
    speed=$(awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.1f", b / s / 1048576 }')
    echo "curl          run $run: bytes $bytes, seconds $seconds, throughput $speed MiB/s"
    best=$(awk -v a="$best" -v b="$speed" 'BEGIN { print (b > a) ? b : a }')
done

awk -v a="$ours" -v b="$best" -v c="$bare" 'BEGIN {
    if (a == "" || b <= 0) { print "ratio: not available"; exit 1 }
    printf "best throughput: DownloadFile %.1f MiB/s, curl %.1f MiB/s, ratio (DownloadFile / curl) %.2f\n", a, b, a / b
    if (c > 0)
        printf "bare WinHTTP read loop %.1f MiB/s: DownloadFile reaches %.2f of it, the loop itself %.2f of curl\n", c, a / c, c / b
}'

# Time to fail against hostile servers: 16 bytes every 0.1 s, and a path that redirects to itself.
for hostile in 'drip {"bodySize": 10485760, "chunkSize": 16, "chunkDelay": 0.1}' 'loop {"redirect": "/bench/loop"}'; do
    name=${hostile%% *}
    curl -sS --fail --cacert "$ca" -X POST "https://localhost/__control/script" -H 'Content-Type: application/json' \
        -d "{\"path\": \"/bench/$name\", \"responses\": [${hostile#* }]}" >/dev/null
    tools/wine-run win64 "$root/$WAYFARER_TEST_BUILD/tools/win/bench_download.exe" --time-to-fail "https://localhost/bench/$name" |
        tr -d '\r' | sed "s/^/time to fail, $name: /"
    sleep 2
    count=$(curl -sS --fail --cacert "$ca" "https://localhost/__control/requests?path=/bench/$name" | grep -o '"method"' | wc -l)
    echo "time to fail, $name: requests received by the server, both runs and 2 s after: $count"
done
