#!/usr/bin/env bash
# Makes the test CA and the backend's server certificate (for localhost, and for the name that only the test proxy
# resolves) in DIR, unless they are there.
# The CA is trusted only inside the project's own Wine prefixes (tools/wine-run).
set -euo pipefail
dir=${1:?usage: make-certs.sh DIR}
mkdir -p "$dir"
cd "$dir"
if [ -s server.pem ] && [ -s server.key ] && [ -s ca.der ] &&
    openssl x509 -in server.pem -noout -ext subjectAltName 2>/dev/null | grep -q wayfarer-proxied.test; then
    exit 0
fi
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -sha256 -keyout ca.key -out ca.pem \
    -subj "/CN=Wayfarer Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in ca.pem -outform der -out ca.der
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
cat > server.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,DNS:wayfarer-proxied.test,IP:127.0.0.1,IP:::1
EXT
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -sha256 \
    -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext
