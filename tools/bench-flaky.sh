#!/usr/bin/env bash
# Downloads one generated file with the installer's DownloadFile (under Wine, through tools/win/bench_download.exe)
# from the local HTTPS backend twice: once from a server that cuts the connection every [cut] bytes (it honours
# ranges and names the file's version with an ETag), once cleanly. Prints the time of each, the attempts and the
# pauses of the flaky run, the body bytes the server sent divided by the file size (goal: at most 1.05), and the
# flaky time divided by the clean time plus the pauses (goal: at most 1.3).
# Usage: tools/bench-flaky.sh [bytes] [cut]   (default 67108864 bytes = 64 MiB, cut every 8388608 bytes = 8 MiB)
# WAYFARER_BUILD_DIR selects the build (build/, or build-x64/ on a machine without 32-bit code, by default) and
# WAYFARER_WINE_KIND its prefix (win64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
WAYFARER_ARCH_QUIET=1 source tools/arch.sh
size=${1:-67108864}
cut=${2:-8388608}
build=${WAYFARER_BUILD_DIR:-$root/$WAYFARER_TEST_BUILD}
kind=${WAYFARER_WINE_KIND:-win64}
if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    bash tools/setup.sh
    cmake --build "$build" --target bench_download trustca >/dev/null
    exec tools/sandbox.sh "$0" "$@"
fi

ca="$WAYFARER_CERTS/ca.pem"
control() {
    curl -sS --fail --cacert "$ca" "$@"
}
control -X POST "https://localhost/__control/reset" -d '{}' >/dev/null
control -X POST "https://localhost/__control/script" -H 'Content-Type: application/json' \
    -d "{\"path\": \"/bench/clean.bin\", \"responses\": [{\"bodySize\": $size}]}" >/dev/null
control -X POST "https://localhost/__control/script" -H 'Content-Type: application/json' \
    -d "{\"path\": \"/bench/flaky.bin\", \"responses\": [{\"bodySize\": $size, \"ranges\": true,
         \"headers\": [[\"ETag\", \"\\\"bench-1\\\"\"]], \"closeAfter\": $cut}]}" >/dev/null

echo "payload: $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1048576 }') MiB), cut every $cut bytes"

run() {
    tools/wine-run "$kind" "$build/tools/win/bench_download.exe" "https://localhost/bench/$1" | tr -d '\r' | grep '^run 1'
}
clean=$(run clean.bin)
flaky=$(run flaky.bin)
echo "clean: $clean"
echo "flaky: $flaky"

field() {
    echo "$1" | sed -n "s/.*$2 \([0-9.]*\).*/\1/p"
}
# The requests of DownloadFile's attempts come first; bench_download.exe then reads the URL once more with a bare
# WinHTTP loop, which is not counted.
sent=$(control "https://localhost/__control/requests?path=/bench/flaky.bin" |
    python3 -c 'import json, sys
requests = json.load(sys.stdin)["requests"][: int(sys.argv[1])]
print(sum(r.get("bodyBytes", 0) for r in requests))' "$(field "$flaky" attempts)")
awk -v cs="$(field "$clean" seconds)" -v fs="$(field "$flaky" seconds)" -v attempts="$(field "$flaky" attempts)" \
    -v resumed="$(field "$flaky" resumed)" -v paused="$(field "$flaky" paused)" -v ok="$(field "$flaky" ok)" \
    -v sent="$sent" -v size="$size" 'BEGIN {
    printf "flaky: ok %d, %.2f s, attempts %d (resumed %d), pauses %.2f s\n", ok, fs, attempts, resumed, paused
    printf "clean: %.2f s\n", cs
    printf "bytes sent / file size: %.3f (goal <= 1.05)\n", sent / size
    printf "flaky time / (clean time + pauses): %.2f (goal <= 1.3)\n", fs / (cs + paused)
}'
