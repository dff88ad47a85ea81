#!/usr/bin/env bash
# A release. Without a payload named, make-release refuses before building. A stand-in
# release signed with a throw-away certificate (a CA and a code-signing certificate made
# here): SHA256SUMS names both files, the signature verifies against that CA and not
# against the system's, taking it off gives back the unsigned file, and the password
# is nowhere in the output or the tree. The signed executable installs its carried
# library and updates the simulated module without a violation, and its version
# comments name the stand-in payload. A rebuild in another directory, later, gives the
# same unsigned bytes.
source "$(dirname "$0")/e2e-lib.sh"
start_case
unset ZC_PAYLOAD_DIR ZC_RELEASE_STANDIN
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
make_release=$ZC_SOURCE_DIR/scripts/make-release
release=$work/release-tree
dist=$work/dist
name=zandacore-programmer-1.0.0.0-not-for-release

if "$make_release" --tree "$release" --dist "$dist" >"$work/refused.txt" 2>&1 ||
    ! grep -q 'no vendor payload' "$work/refused.txt" || [ -e "$release" ]; then
    echo "e2e: make-release without a payload was not refused before building:"
    cat "$work/refused.txt"
    exit 1
fi

pki=$work/pki
mkdir "$pki"
ZC_SIGN_PASSWORD="throw-away $RANDOM$RANDOM$RANDOM"
export ZC_SIGN_PASSWORD
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=zandacore test CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout "$pki/ca.key" -out "$pki/ca.pem" 2>"$pki/openssl.err"
openssl req -newkey rsa:2048 -nodes -subj "/CN=zandacore test signer" \
    -keyout "$pki/signer.key" -out "$pki/signer.csr" 2>>"$pki/openssl.err"
printf '%s\n' basicConstraints=critical,CA:FALSE keyUsage=critical,digitalSignature \
    extendedKeyUsage=codeSigning >"$pki/signer.ext"
openssl x509 -req -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -set_serial 2 \
    -days 2 -extfile "$pki/signer.ext" -out "$pki/signer.pem" 2>>"$pki/openssl.err"
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -certfile "$pki/ca.pem" \
    -passout env:ZC_SIGN_PASSWORD -out "$pki/signer.p12"

if ! ZC_RELEASE_STANDIN=1 ZC_SIGN_PKCS12=$pki/signer.p12 ZC_SIGN_CAFILE=$pki/ca.pem \
    "$make_release" --tree "$release" --dist "$dist" >"$work/release.log" 2>&1; then
    tail -n 30 "$work/release.log"
    exit 1
fi
(cd "$dist" && sha256sum --quiet -c SHA256SUMS)
listed=$(grep -cE "^[0-9a-f]{64}  $name(-unsigned)?\.exe$" "$dist/SHA256SUMS" || true)
[ "$listed" = 2 ] || { echo "e2e: SHA256SUMS names $listed of the two executables"; exit 1; }
osslsigncode verify -CAfile "$pki/ca.pem" -in "$dist/$name.exe" >"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; exit 1; }
if osslsigncode verify -in "$dist/$name.exe" >"$work/verify-system.txt" 2>&1; then
    echo "e2e: the throw-away signature verifies against the system's certificates"
    exit 1
fi
osslsigncode remove-signature -in "$dist/$name.exe" -out "$work/signature-removed.exe" >/dev/null
cmp "$work/signature-removed.exe" "$dist/$name-unsigned.exe"
if grep -rqF -- "$ZC_SIGN_PASSWORD" "$work/release.log" "$release" "$dist"; then
    echo "e2e: the certificate's password was written out"
    exit 1
fi

program=$dist/$name.exe
plug_modules <<'END'
[A17]
firmware = 786
END
run_driver --start
expect_output <<'END'
dialog title="QTV40z6" upper="QTV40z6" lower="current version:  v786   -->   new version:  v787"
layout dpi=96 bar=ok
endsession before=accepted
endsession during=refused
endsession after=accepted
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0
END
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
cmp "$release/payload-standin/SiUSBXp.dll" "$WINEPREFIX/drive_c/windows/syswow64/SiUSBXp.dll"
expect_log_run 1

ZC_RELEASE_STANDIN=1 "$ZC_SOURCE_DIR/scripts/check-reproducible" "$dist/$name.exe"
