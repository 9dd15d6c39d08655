#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine, and fetches the
# tinyxml2 source into a git-ignored folder. Quick when everything is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

packages=(
    g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
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
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

needUpdate=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    needUpdate=1
fi
srcList=/etc/apt/sources.list.d/wayfarer-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    cat >"$srcList" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    needUpdate=1
fi

tinyxmlDir="$here/third_party/tinyxml2"
if [ ${#missing[@]} -gt 0 ] || [ ! -f "$tinyxmlDir/tinyxml2.cpp" ]; then
    needUpdate=1
fi
if [ $needUpdate = 1 ]; then
    apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# tinyxml2 is compiled by the cross build from Debian's own source package.
if [ ! -f "$tinyxmlDir/tinyxml2.cpp" ]; then
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq tinyxml2 >/dev/null 2>&1)
    src=$(find "$work" -maxdepth 2 -name tinyxml2.cpp -printf '%h\n' | head -n 1)
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
