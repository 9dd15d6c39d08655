#!/usr/bin/env bash
# Makes the test CA and the backend's server certificate (for localhost) in DIR, unless they are there and stay
# valid for a while yet: both are made anew a week before either ends, so that a build folder kept for months
# never fails its TLS tests on a certificate that ended (tools/wine-run trusts a new CA by itself).
# The CA is trusted only inside the project's own Wine prefixes (tools/wine-run).
set -euo pipefail
dir=${1:?usage: make-certs.sh DIR}
days=30
renewSeconds=$((7 * 24 * 3600))
mkdir -p "$dir"
cd "$dir"
if [ -s server.pem ] && [ -s server.key ] && [ -s ca.pem ] && [ -s ca.der ]; then
    if openssl x509 -checkend "$renewSeconds" -noout -in ca.pem >/dev/null &&
        openssl x509 -checkend "$renewSeconds" -noout -in server.pem >/dev/null; then
        exit 0
    fi
    echo "make-certs: the test certificates in $dir end within a week (or have ended): they are made anew" >&2
fi
rm -f ca.key ca.pem ca.der ca.srl server.key server.pem
openssl req -x509 -newkey rsa:2048 -nodes -days "$days" -sha256 -keyout ca.key -out ca.pem \
    -subj "/CN=Wayfarer Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in ca.pem -outform der -out ca.der
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
cat > server.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1
EXT
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days "$days" -sha256 \
    -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext
