#!/usr/bin/env bash
# Runs a command with the installer's world around it: a private network namespace (so the local backend's
# port 443 on loopback collides with nothing else on the machine), the local HTTPS backend with a test
# certificate, and a virtual display when there is none.
# Usage: tools/sandbox.sh <command> [arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
WAYFARER_ARCH_QUIET=1 source "$root/tools/arch.sh"
export WAYFARER_BUILD_DIR=${WAYFARER_BUILD_DIR:-$root/$WAYFARER_TEST_BUILD}

if [ -z "${WAYFARER_SANDBOXED:-}" ]; then
    export WAYFARER_SANDBOXED=1
    if [ "$WAYFARER_I386" = emulated ]; then
        # A user namespace of our own may mount a binfmt_misc instance of its own (see below).
        exec unshare --user --map-root-user --mount --net --fork -- "$0" "$@"
    fi
    if [ "$(id -u)" = 0 ]; then
        exec unshare --net --fork -- "$0" "$@"
    fi
    exec unshare --user --map-root-user --net --fork -- "$0" "$@"
fi

if [ "$WAYFARER_I386" = emulated ]; then
    # 32-bit Linux programs (Wine's 32-bit loader) go to qemu's user-mode emulator, in this namespace only: the
    # machine's own binfmt_misc and its settings stay as they are. The emulator is opened now (F), so it need not be
    # visible to the programs it runs; argv[0] is passed on (P), as Wine's preloader expects its own.
    mount -t binfmt_misc wayfarer /proc/sys/fs/binfmt_misc
    elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":wayfarer-i386:M::$elf:$mask:$(command -v qemu-i386):FP" >/proc/sys/fs/binfmt_misc/register
fi
ip link set lo up
state="$WAYFARER_BUILD_DIR/sandbox"
mkdir -p "$state"

# Wine creates a program's sockets in its wineserver, so a wineserver started in another sandbox would put
# this run's connections in that sandbox's network. One sandbox at a time per build folder, then, and each
# starts its own wineservers and stops them when it ends.
exec 8>"$state/lock"
if ! flock -n 8; then
    echo "sandbox: waiting for another run on $WAYFARER_BUILD_DIR to end" >&2
    flock 8
fi
stopWineServers() {
    for prefix in "$WAYFARER_BUILD_DIR"/wine/win64 "$WAYFARER_BUILD_DIR"/wine/win32; do
        if [ -d "$prefix" ]; then WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; fi
    done
}
stopWineServers
export WAYFARER_SANDBOX_ID="$$-$(date +%s%N)"
export WAYFARER_CERTS=${WAYFARER_CERTS:-$state/certs}
bash "$root/tools/backend/make-certs.sh" "$WAYFARER_CERTS"

pids=()
cleanup() {
    stopWineServers
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

if [ -f "$root/tools/backend/backend.py" ]; then
    python3 "$root/tools/backend/backend.py" --certs "$WAYFARER_CERTS" ${WAYFARER_SCENARIO:+--scenario "$WAYFARER_SCENARIO"} \
        >"$state/backend.log" 2>&1 &
    pids+=($!)
    up=
    for _ in $(seq 1 100); do
        if (exec 3<>/dev/tcp/127.0.0.1/443) 2>/dev/null; then up=1; break; fi
        kill -0 "${pids[-1]}" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$up" ]; then
        # Every test that talks to it would fail later for a reason far from this one.
        echo "sandbox: the local backend ended or did not listen on port 443 within 10 s; its log ($state/backend.log):" >&2
        tail -n 20 "$state/backend.log" >&2 || true
        exit 1
    fi
fi

if [ -z "${DISPLAY:-}" ]; then
    rm -f "$state/display"
    Xvfb -displayfd 6 -screen 0 1280x1024x24 -nolisten tcp 6>"$state/display" 2>"$state/xvfb.log" &
    pids+=($!)
    for _ in $(seq 1 200); do
        [ -s "$state/display" ] && break
        sleep 0.1
    done
    [ -s "$state/display" ] || { echo "sandbox: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n 1 "$state/display")"
fi

# A demo killed outright left the prefix at another display scale (tools/demo-record.sh).
if [ -f "$state/demo-scale-saved" ]; then
    bash "$root/tools/demo-record.sh" --restore-scale
fi

set +e
"$@"
rc=$?
set -e
exit $rc
