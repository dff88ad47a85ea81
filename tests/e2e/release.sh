#!/usr/bin/env bash
# A release: refused before building without a payload. A stand-in release signed with a
# throw-away CA's code-signing certificate made here: SHA256SUMS names both files, the
# signature verifies against that CA and not the system's, taking it off gives back the
# unsigned file, the password is written nowhere; the signed program installs its carried
# library and updates the simulated module; a later rebuild elsewhere is byte-identical.
source "$(dirname "$0")/e2e-lib.sh"
start_case
unset ZC_PAYLOAD_DIR ZC_RELEASE_STANDIN
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
make_release=("$ZC_SOURCE_DIR/scripts/make-release" --tree "$work/release-tree" --dist "$work/dist")
name=$work/dist/zandacore-programmer-1.0.0.0-not-for-release

if "${make_release[@]}" >"$work/refused.txt" 2>&1 || [ -e "$work/release-tree" ] ||
    ! grep -q 'no vendor payload' "$work/refused.txt"; then
    echo "e2e: make-release without a payload was not refused before building"
    exit 1
fi

export ZC_SIGN_PASSWORD="throw-away $RANDOM$RANDOM$RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=zandacore test CA" \
    -addext basicConstraints=critical,CA:TRUE -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=zandacore test signer" \
    -CA "$work/ca.pem" -CAkey "$work/ca.key" -addext extendedKeyUsage=codeSigning \
    -keyout "$work/signer.key" -out "$work/signer.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" -certfile "$work/ca.pem" \
    -passout env:ZC_SIGN_PASSWORD -out "$work/signer.p12"
ZC_RELEASE_STANDIN=1 ZC_SIGN_PKCS12=$work/signer.p12 ZC_SIGN_CAFILE=$work/ca.pem \
    "${make_release[@]}" >"$work/release.log" 2>&1 || { tail -n 30 "$work/release.log"; exit 1; }

(cd "$work/dist" && sha256sum --quiet -c SHA256SUMS)
[ "$(grep -cE "^[0-9a-f]{64}  ${name##*/}(-unsigned)?\.exe$" "$work/dist/SHA256SUMS")" = 2 ]
osslsigncode verify -CAfile "$work/ca.pem" -in "$name.exe" >"$work/verify.txt"
if osslsigncode verify -in "$name.exe" >"$work/verify-system.txt" 2>&1 ||
    grep -rqF -- "$ZC_SIGN_PASSWORD" "$work/release.log" "$work/release-tree" "$work/dist"; then
    echo "e2e: the signature verifies against the system's certificates, or the password was written"
    exit 1
fi
osslsigncode remove-signature -in "$name.exe" -out "$work/signature-removed.exe" >/dev/null
cmp "$work/signature-removed.exe" "$name-unsigned.exe"

program=$name.exe
plug_a17_at_786
run_driver --start
expect_output '/^(final|exit) /!d' <<'END'
final title=" QTV40z6, v787 - DONE!" upper="Programming finished successfully!  Please power cycle the module now." lower="After re-applying power it will take some seconds to complete the update process." progress=100 bar=00c800 start=disabled close=enabled
exit 0
END
expect_status "module A17: present yes, firmware 787, bootloader 2, fpga ok, mcu ok, boots 1, violations 0"
cmp "$work/release-tree/payload-standin/SiUSBXp.dll" "$system_dir/SiUSBXp.dll"
expect_log_run 1 # its version comments name the stand-in payload

ZC_RELEASE_STANDIN=1 "$ZC_SOURCE_DIR/scripts/check-reproducible" "$name.exe"
