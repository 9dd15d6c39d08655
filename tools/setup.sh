#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine, and fetches the
# tinyxml2 source into a git-ignored folder. Quick when everything is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

packages=(
    g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
    # The x86-64 test build (tools/arch.sh says where it runs).
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
    cmake ninja-build pkg-config dpkg-dev
    wine wine32:i386 wine64 libwine:i386
    # Wine's own fonts: the symbol font of the caption buttons and the dialogs' shell font.
    fonts-wine
    xvfb xauth x11-apps imagemagick xdotool
    nlohmann-json3-dev googletest
    python3 openssl iproute2 curl file
    # Signs the installer (a publisher's certificate, or the tests' own) and the signer tests' programs.
    osslsigncode
    # Rebuilds of several checkouts on one machine share one compiler cache.
    ccache
    # The real proxy the proxy tests put between the installer and the local backend (started by tools/with-proxy.sh,
    # never as a service).
    squid
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

needUpdate=0
# The Debian archive this machine already uses: the extra suites come from it, never from an address named here.
# It is the source that serves Debian 12's own suite (bookworm or bookworm-updates) as packages, whichever comes
# first (with its "main" component): another vendor's repository for bookworm, or the security archive, may well
# be listed before it.
debianArchive() {
    {
        # One-line sources: "deb [options] URI suite components".
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed -E 's/\[[^]]*\]//' |
            awk '$1 == "deb" && ($3 == "bookworm" || $3 == "bookworm-updates") && (" " $0 " ") ~ / main / { print $2 }'
        # deb822 stanzas: one per paragraph.
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] && awk 'BEGIN { RS = "" } {
                types = ""; suites = ""; uris = ""; components = ""
                n = split($0, lines, "\n")
                for (i = 1; i <= n; i++) {
                    if (lines[i] ~ /^Types:/) types = " " substr(lines[i], 7) " "
                    if (lines[i] ~ /^Suites:/) suites = " " substr(lines[i], 8) " "
                    if (lines[i] ~ /^Components:/) components = " " substr(lines[i], 12) " "
                    if (lines[i] ~ /^URIs:/) { split(substr(lines[i], 6), u, " "); uris = u[1] }
                }
                if (types ~ / deb / && suites ~ / bookworm(-updates)? / && components ~ / main / && uris != "")
                    print uris
            }' "$file"
        done
    } | sed -n 1p
}
archive=$(debianArchive || true)
addSuites() {
    [ -n "$archive" ] || {
        echo "setup: no source of Debian 12 (bookworm) packages found in this machine's apt sources" >&2
        exit 1
    }
    cat >"$1" <<SRC
Types: $2
URIs: $archive
Suites: $3
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
}
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    needUpdate=1
fi
srcList=/etc/apt/sources.list.d/wayfarer-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    addSuites "$srcList" deb-src "bookworm bookworm-updates"
    needUpdate=1
fi

# The emulator that runs Wine's 32-bit loader where the kernel runs 64-bit code only (tools/arch.sh): Debian 12's
# own qemu takes about 45 s to start each 32-bit process, the backports suite's starts it at once. The suite comes
# from the archive this machine already uses.
backportsList=/etc/apt/sources.list.d/wayfarer-backports.sources
if ! grep -rqsE '^(Suites:.*|deb .*)bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    addSuites "$backportsList" deb bookworm-backports
    needUpdate=1
fi
qemu=/usr/bin/qemu-i386
if ! "$qemu" --version 2>/dev/null | grep -qE 'version ([1-9][0-9])\.'; then
    missingQemu=1
else
    missingQemu=0
fi

tinyxmlDir="$here/third_party/tinyxml2"
if [ ${#missing[@]} -gt 0 ] || [ $missingQemu = 1 ] || [ ! -f "$tinyxmlDir/tinyxml2.cpp" ]; then
    needUpdate=1
fi
if [ $needUpdate = 1 ]; then
    apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ $missingQemu = 1 ]; then
    echo "setup: installing qemu-user from bookworm-backports"
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
fi

# tinyxml2 is compiled by the cross build from Debian's own source package.
if [ ! -f "$tinyxmlDir/tinyxml2.cpp" ]; then
    work=$(mktemp -d)
    if ! (cd "$work" && apt-get source -qq tinyxml2 >"$work/apt-get-source.log" 2>&1); then
        echo "setup: apt-get source tinyxml2 failed:" >&2
        cat "$work/apt-get-source.log" >&2
        rm -rf "$work"
        exit 1
    fi
    src=$(find "$work" -maxdepth 2 -name tinyxml2.cpp -printf '%h\n' | head -n 1)
    if [ -z "$src" ]; then
        echo "setup: Debian's tinyxml2 source package holds no tinyxml2.cpp (in $work)" >&2
        exit 1
    fi
    mkdir -p "$tinyxmlDir"
    cp "$src/tinyxml2.cpp" "$src/tinyxml2.h" "$tinyxmlDir/"
    [ -f "$src/LICENSE.txt" ] && cp "$src/LICENSE.txt" "$tinyxmlDir/"
    rm -rf "$work"
fi

# The cross build sees nlohmann-json through a folder that holds only it, never /usr/include.
jsonDir="$here/third_party/include"
if [ ! -e "$jsonDir/nlohmann/json.hpp" ]; then
    mkdir -p "$jsonDir"
    rm -rf "$jsonDir/nlohmann"
    cp -r /usr/include/nlohmann "$jsonDir/nlohmann"
fi
