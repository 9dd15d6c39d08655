#!/usr/bin/env bash
# Makes the test CA, the backend's server certificate (for localhost, and for the name that only the test proxy
# resolves) and a certificate of the same CA for another host (other.pem, for elsewhere.invalid: a server that names
# the wrong host) in DIR, unless they are there and stay valid for a while yet: all are made anew a week before any
# ends, so that a build folder kept for months never fails its TLS tests on a certificate that ended (tools/wine-run
# trusts a new CA by itself).
# The CA is trusted only inside the project's own Wine prefixes (tools/wine-run).
set -euo pipefail
dir=${1:?usage: make-certs.sh DIR}
days=30
renewSeconds=$((7 * 24 * 3600))
mkdir -p "$dir"
cd "$dir"
if [ -s server.pem ] && [ -s server.key ] && [ -s ca.pem ] && [ -s ca.der ] && [ -s other.pem ] && [ -s other.key ]; then
    if openssl x509 -in server.pem -noout -ext subjectAltName 2>/dev/null | grep -q wayfarer-proxied.test; then
        if openssl x509 -checkend "$renewSeconds" -noout -in ca.pem >/dev/null &&
            openssl x509 -checkend "$renewSeconds" -noout -in server.pem >/dev/null &&
            openssl x509 -checkend "$renewSeconds" -noout -in other.pem >/dev/null; then
            exit 0
        fi
        echo "make-certs: the test certificates in $dir end within a week (or have ended): they are made anew" >&2
    fi
fi
rm -f ca.key ca.pem ca.der ca.srl server.key server.pem other.key other.pem
openssl req -x509 -newkey rsa:2048 -nodes -days "$days" -sha256 -keyout ca.key -out ca.pem \
    -subj "/CN=Wayfarer Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in ca.pem -outform der -out ca.der
# server CN SAN-list OUT: a certificate of the test CA.
issue() {
    openssl req -newkey rsa:2048 -nodes -keyout "$3.key" -out "$3.csr" -subj "/CN=$1" 2>/dev/null
    cat > "$3.ext" <<EXT
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=$2
EXT
    openssl x509 -req -in "$3.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days "$days" -sha256 \
        -extfile "$3.ext" -out "$3.pem" 2>/dev/null
    rm -f "$3.csr" "$3.ext"
}
issue localhost "DNS:localhost,DNS:wayfarer-proxied.test,IP:127.0.0.1,IP:::1" server
# Signed by the same CA, so that only the name is wrong.
issue elsewhere.invalid "DNS:elsewhere.invalid" other
