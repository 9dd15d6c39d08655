#!/usr/bin/env bash
# The whole run as a benchmark (figures, no assertions): the ISV installer, walked by the wizard driver, fetches a
# 64 MiB main installer and two 16 MiB offers from the local backend (the stand-in installer padded, served as
# fast as the backend can) and runs them. Prints the time of each page (the download page's is the downloads
# plus the installers' runs) and of the whole run, beside the bare transfer time of the same bytes through
# WinHTTP in the same sandbox (and DownloadFile's progress messages per file); the installer process's peak
# working set; and the longest time the frame took to answer a message sent to it while it downloaded.
# With "hash" as the third argument each offer publishes its installer's SHA-256, which the installer checks
# before running it: the download page's time then includes the check (compare with a run without it).
# Usage: tools/bench-run.sh [main MiB] [offer MiB] [hash]   (default 64 and 16, no hashes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/arch.sh
mainMib=${1:-64}
offerMib=${2:-16}
hashes=${3:-}
if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    bash tools/setup.sh
    [ -f "$WAYFARER_TEST_BUILD/build.ninja" ] || cmake --preset "$WAYFARER_TEST_PRESET" >/dev/null
    cmake --build --preset "$WAYFARER_TEST_PRESET" --target wayfarer trustca fake_installer wizard_driver bench_download >/dev/null
    mkdir -p $WAYFARER_TEST_BUILD/bench
    python3 tools/demo/make-scenario.py $WAYFARER_TEST_BUILD/tools/win/fake_installer.exe $WAYFARER_TEST_BUILD/bench/scenario.json --rate 0 \
        --installer-mib "/endpoint/quarvel/os/riserollout/track/beta=$mainMib" \
        --installer-mib "/dl/offers/photo-tidy-setup.exe=$offerMib" \
        --installer-mib "/f/dl/offers/clip-keeper-setup.exe=$offerMib" ${hashes:+--hash}
    export WAYFARER_SCENARIO=$root/$WAYFARER_TEST_BUILD/bench/scenario.json
    unset DISPLAY
    exec tools/sandbox.sh "$0" "$@"
fi

build=${WAYFARER_BUILD_DIR:-$root/$WAYFARER_TEST_BUILD}
win="$build/tools/win"

# The same bytes through the platform's HTTP stack, one file after the other.
bare=0
for path in /endpoint/quarvel/os/riserollout/track/beta /dl/offers/photo-tidy-setup.exe \
    /f/dl/offers/clip-keeper-setup.exe; do
    out=$(tools/wine-run win64 "$win/bench_download.exe" "https://localhost$path" 1 | tr -d '\r')
    seconds=$(echo "$out" | sed -n 's/^bare WinHTTP read loop: .*seconds \([0-9.]*\),.*/\1/p')
    progress=$(echo "$out" | grep -o 'progress messages [0-9]*' | head -1 || true)
    fileSeconds=$(echo "$out" | sed -n 's/^run 1: .*seconds \([0-9.]*\),.*/\1/p')
    echo "file $path: bare WinHTTP ${seconds}s; DownloadFile ${fileSeconds:-?}s, ${progress:-progress messages ?}"
    bare=$(awk -v a="$bare" -v b="$seconds" 'BEGIN { print a + b }')
done

# The whole run.
log="$build/bench/installers.log"
rm -f "$log"
run=$(WAYFARER_FAKE_INSTALLER_LOG="Z:$log" tools/wine-run win64 "$win/wizard_driver.exe" \
    "Z:$build/QuarvelSetup.exe" --pause 100 --measure 1 | tr -d '\r')
echo "$run" | grep -v '^page' | sed 's/^/driver: /'
echo "$run" | awk '
    /^page / { if (name != "") printf "phase %-24s %7.2f s\n", name, ($4 - at) / 1000; name = $2; at = $4 }
    /^ended at / { if (name != "") printf "phase %-24s %7.2f s\n", name, ($3 - at) / 1000; total = $3 / 1000 }
    /^page DownloadPage/ { downloadStart = $4 }
    /^page Finish/ { downloadEnd = $4 }
    END {
        printf "whole run: %.2f s (the driver waits 0.1 s on each page)\n", total
        if (downloadEnd > downloadStart)
            printf "download page (downloads and installers): %.2f s\n", (downloadEnd - downloadStart) / 1000
    }' | tee "$build/bench/phases.txt"
downloadPage=$(sed -n 's/^download page (downloads and installers): \([0-9.]*\) s/\1/p' "$build/bench/phases.txt")
echo "offers' published hashes checked: ${hashes:-no}"
awk -v d="$downloadPage" -v b="$bare" 'BEGIN {
    printf "bare transfer of the same bytes: %.2f s; download page / bare transfer: %.2f (target: within 1.3, plus the installers own run time)\n", b, (b > 0 ? d / b : 0)
}'
echo "installers run: $(grep -c . "$log" 2>/dev/null || echo 0)"
