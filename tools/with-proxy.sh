#!/usr/bin/env bash
# Runs a command with a real proxy (Debian's squid) on loopback port 3128, inside the sandbox's network namespace
# (tools/sandbox.sh): the local backend's HTTPS port is reachable through it as "wayfarer-proxied.test", a name that
# only the proxy resolves (from a hosts file of its own), so a request that arrives went through the proxy.
# Usage: tools/with-proxy.sh <command> [arguments...]
set -euo pipefail
[ -n "${WAYFARER_SANDBOXED:-}" ] || { echo "with-proxy: run it inside tools/sandbox.sh" >&2; exit 2; }
command -v squid >/dev/null || { echo "with-proxy: squid is missing (tools/setup.sh installs it)" >&2; exit 2; }
dir="$WAYFARER_BUILD_DIR/sandbox/squid"
rm -rf "$dir"
mkdir -p "$dir"
echo "127.0.0.1 wayfarer-proxied.test" >"$dir/hosts"
cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:3128
acl backendPort port 443
http_access allow CONNECT backendPort
http_access deny CONNECT
http_access allow all
hosts_file $dir/hosts
cache deny all
pid_filename $dir/squid.pid
access_log stdio:$dir/access.log
cache_log $dir/cache.log
pinger_enable off
shutdown_lifetime 0 seconds
CONF
# Squid refuses to run as root, and the sandbox's user is root of its namespace: a nested user namespace without
# a mapping makes it an ordinary user, with the same access to the files.
unshare --user -- squid -N -f "$dir/squid.conf" &
proxy=$!
trap 'kill "$proxy" 2>/dev/null || true; wait "$proxy" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    (exec 3<>/dev/tcp/127.0.0.1/3128) 2>/dev/null && break
    sleep 0.1
done
if ! (exec 3<>/dev/tcp/127.0.0.1/3128) 2>/dev/null; then
    echo "with-proxy: squid did not start" >&2
    cat "$dir/cache.log" >&2
    exit 1
fi
set +e
"$@"
rc=$?
exit $rc
