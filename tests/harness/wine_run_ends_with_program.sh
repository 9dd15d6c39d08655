#!/usr/bin/env bash
# tools/wine-run ends when its program does, with the program's exit code, its output on standard output and its
# errors on standard error, even while a child of the program still holds those handles (it sleeps for two and a half minutes).
# Its output is read through a pipe, as ctest reads it: the pipe ends only when nothing holds it any more.
set -uo pipefail
wine_run=$1
program=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
start=$(date +%s)
"$wine_run" win64 "$program" 2>"$err" </dev/null | cat >"$out"
rc=${PIPESTATUS[0]}
elapsed=$(($(date +%s) - start))
status=0
if [ "$rc" != 7 ]; then echo "exit code $rc, not the program's 7"; status=1; fi
if ! grep -qx $'parent done\r\\?' "$out"; then echo "standard output lacks the program's line:"; cat "$out"; status=1; fi
if ! grep -q 'parent error line' "$err"; then echo "standard error lacks the program's line:"; cat "$err"; status=1; fi
if grep -q 'parent error line' "$out"; then echo "the errors came on standard output"; status=1; fi
# The child lives 150 seconds; a run that waited for it took at least that. The bound leaves room for a prefix that
# another test is setting up meanwhile.
if [ "$elapsed" -ge 120 ]; then echo "wine-run took ${elapsed} s: it waited for the child, not for the program"; status=1; fi
exit $status
