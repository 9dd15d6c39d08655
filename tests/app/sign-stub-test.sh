#!/usr/bin/env bash
# Signs a copy of the built installer the way the build signs it for a publisher (cmake/SignInstaller.cmake),
# with a code-signing certificate made here, then checks the signature with osslsigncode and that the signed
# program still starts and shows its window under Wine. The build's own installer stays unsigned.
# Usage: sign-stub-test.sh <QuarvelSetup.exe> <work folder> <source folder> <startup_timer.exe>
set -euo pipefail
installer=$(realpath "$1")
work=$2
source=$(realpath "$3")
timer=$(realpath "$4")
rm -rf "$work"
mkdir -p "$work"
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Wayfarer Stub Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Wayfarer Stub Test Publisher" -keyout signer.key -out signer.csr \
    2>/dev/null
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -sha256 -extfile signer.ext \
    -out signer.pem 2>/dev/null
cat ca.pem >>signer.pem

unsignedSum=$(sha256sum "$installer" | cut -d' ' -f1)
cp "$installer" QuarvelSetup.exe
cmake -DINPUT="$work/QuarvelSetup.exe" -DCERT=signer.pem -DKEY=signer.key -DDESCRIPTION="Quarvel Setup" \
    -P "$source/cmake/SignInstaller.cmake"

verify=$(osslsigncode verify -CAfile ca.pem -in QuarvelSetup.exe 2>&1) || {
    echo "$verify"
    echo "FAIL: osslsigncode verify rejects the signed installer"
    exit 1
}
echo "$verify" | grep -q "Subject: /CN=Wayfarer Stub Test Publisher" || {
    echo "$verify"
    echo "FAIL: the signature names another signer"
    exit 1
}
[ "$(sha256sum "$installer" | cut -d' ' -f1)" = "$unsignedSum" ] || {
    echo "FAIL: signing the copy changed the build's own installer"
    exit 1
}
osslsigncode verify -CAfile ca.pem -in "$installer" >/dev/null 2>&1 && {
    echo "FAIL: the build's own installer is signed"
    exit 1
}

# The signed program starts and shows its first window (the timer closes it again).
started=$("$source/tools/wine-run" win64 "$timer" 1 "Z:$work/QuarvelSetup.exe" | tr -d '\r') || true
echo "$started"
if ! echo "$started" | grep -q "median"; then
    echo "FAIL: the signed installer showed no window"
    exit 1
fi
# The started installer leaves its empty work folder behind.
rm -rf "${WAYFARER_BUILD_DIR:-$source/build}"/wine/win64/drive_c/users/*/AppData/Local/Temp/ISV*.tmp 2>/dev/null || true
echo "signed installer verified and started"
