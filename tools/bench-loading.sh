#!/usr/bin/env bash
# Times the loading page with five admitted offers whose images each take a set delay on the local backend:
# from Next on the language page to the frame's load-complete message, beside the delay and a bare
# configuration request. The images load in parallel, so the time should stay near the slowest image plus the
# configuration request, not five times the delay. Prints figures; asserts nothing.
# Usage: tools/bench-loading.sh [delay-seconds] [runs]   (default 2 s, 3 runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/arch.sh
delay=${1:-2}
runs=${2:-3}
if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    bash tools/setup.sh
    [ -f "$WAYFARER_TEST_BUILD/build.ninja" ] || cmake --preset "$WAYFARER_TEST_PRESET" >/dev/null
    cmake --build --preset "$WAYFARER_TEST_PRESET" --target bench_loading trustca >/dev/null
    exec tools/sandbox.sh "$0" "$@"
fi

ca="$WAYFARER_CERTS/ca.pem"
control() {
    curl -sS --fail --cacert "$ca" -X POST "https://localhost/__control/$1" -H 'Content-Type: application/json' \
        -d "$2" >/dev/null
}
offers=""
for n in 1 2 3 4 5; do
    offers="$offers${offers:+,}{\"ad\":{\"f\":\"t$n\",\"o\":\"offer$n\"},\"ps\":{\"i\":\"offer$n.png\",\"dn\":\"Offer $n\",\"u\":\"https://localhost/offer$n.exe\",\"v\":$n}}"
done
answer="{\"l\":\"US\",\"f\":{\"m\":5},\"o\":[$offers]}"
answerJson=$(printf '%s' "$answer" | python3 -c 'import json,sys; print(json.dumps(sys.stdin.read()))')
control script "{\"path\": \"/o\", \"responses\": [{\"body\": $answerJson}]}"
control script "{\"path\": \"/f/\", \"match\": \"prefix\", \"responses\": [{\"delay\": $delay, \"bodyFile\": \"$root/resources/product_logo.png\"}]}"

echo "five admitted offers, each image delayed $delay s on the local backend"
out=$(tools/wine-run win64 "$root/$WAYFARER_TEST_BUILD/tools/win/bench_loading.exe" "$runs" | tr -d '\r')
echo "$out"
config=$(echo "$out" | sed -n 's/^configuration request: seconds \([0-9.]*\).*/\1/p')
echo "$out" | sed -n 's/^run \([0-9]*\): offers \([0-9]*\), seconds from Next to load complete \([0-9.]*\)/\1 \2 \3/p' |
    while read -r run count seconds; do
        awk -v r="$run" -v c="$count" -v s="$seconds" -v d="$delay" -v q="$config" 'BEGIN {
            printf "run %s: %s offers, %.3f s; slowest image + configuration request = %.3f s; ratio %.2f (serial loading would be about %.2f)\n",
                r, c, s, d + q, s / (d + q), (5 * d + q) / (d + q)
        }'
    done
