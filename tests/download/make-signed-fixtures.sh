#!/usr/bin/env bash
# Makes the signed programs of the signer tests, at test time: a code-signing test CA (trusted only inside the
# project's Wine prefixes, by the tests themselves), a second CA that nothing trusts, and copies of the stand-in
# installer signed with osslsigncode under several certificates, plus an unsigned copy and a signed copy with
# one byte changed.
# Usage: make-signed-fixtures.sh <output folder> <program.exe>
set -euo pipefail
out=${1:?usage: make-signed-fixtures.sh <output folder> <program.exe>}
program=$(realpath "${2:?usage: make-signed-fixtures.sh <output folder> <program.exe>}")
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# A CA whose certificates are issued with `openssl ca`, which can set any validity window (an expired one too).
makeCa() {
    local name=$1 subject=$2
    mkdir -p "$name"
    : >"$name/index.txt"
    echo 1000 >"$name/serial"
    cat >"$name/ca.cnf" <<CONF
[ca]
default_ca = ca
[ca]
dir = $PWD/$name
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir
certificate = \$dir/ca.pem
private_key = \$dir/ca.key
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[anything]
commonName = supplied
[codesign]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
[serverauth]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
[root]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
CONF
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=$subject" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$name/ca.key" -out "$name/ca.pem" 2>/dev/null
}

# issue <ca> <file stem> <common name> <extensions section> <start> <end>
issue() {
    local ca=$1 stem=$2 cn=$3 section=$4 start=$5 end=$6
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$cn" -keyout "$stem.key" -out "$stem.csr" 2>/dev/null
    openssl ca -batch -config "$ca/ca.cnf" -extensions "$section" -startdate "$start" -enddate "$end" \
        -in "$stem.csr" -out "$stem.pem" -notext 2>/dev/null
    cat "$ca/ca.pem" >>"$stem.pem"
}

sign() {
    local stem=$1 output=$2
    osslsigncode sign -certs "$stem.pem" -key "$stem.key" -h sha256 -in "$program" -out "$output" >/dev/null
}

now=$(date -u +%Y%m%d%H%M%SZ)
later=$(date -u -d '+2 years' +%Y%m%d%H%M%SZ)
makeCa trusted "Wayfarer Test Code Signing CA"
makeCa stranger "Wayfarer Stranger CA"
openssl x509 -in trusted/ca.pem -outform DER -out ca.der

issue trusted publisher "Wayfarer Test Publisher" codesign "$now" "$later"
issue trusted other "Wayfarer Other Publisher" codesign "$now" "$later"
issue trusted expired "Wayfarer Test Publisher" codesign 20200101000000Z 20210101000000Z
issue trusted server "Wayfarer Test Publisher" serverauth "$now" "$later"
issue stranger untrusted "Wayfarer Test Publisher" codesign "$now" "$later"

cp "$program" unsigned.exe
sign publisher right.exe
sign other other.exe
sign expired expired.exe
sign server serverauth.exe
sign untrusted untrusted.exe
# One byte of the program's code changed after signing: the signature still parses, the digest no longer fits.
cp right.exe tampered.exe
offset=$((0x400 + 64))
byte=$(od -An -tu1 -j "$offset" -N1 tampered.exe | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none

# The CA file for `osslsigncode verify` on this side.
cp trusted/ca.pem ca.pem
ls *.exe >/dev/null
