#!/usr/bin/env bash
# What an administrator can verify of a Windows release, checked on the
# builds build/windows-x86 and build/windows-x64 (built and packed by cpack):
#
#   scripts/check-release.sh reproducible
#     builds both presets again, from nothing, in build/rebuild/windows-<target>
#     and compares every artefact with the first build's byte for byte (the
#     module, the type libraries, the programs, the notices, the zip, the
#     packages and SHA256SUMS); `sha256sum -c SHA256SUMS` in both builds;
#   scripts/check-release.sh signed
#     makes a throwaway certificate authority and code-signing certificate
#     (openssl, in build/signing/, never kept elsewhere), builds
#     build/rebuild/windows-x64 signed with the PEM certificate and key and
#     build/rebuild/windows-x86 with a PKCS#12 bundle, and checks with
#     `osslsigncode verify` the signatures of the module, the probe, the
#     package and of the module and probe inside the package; SHA256SUMS
#     again. Run after
#     `reproducible`; the signed 64-bit package is then ready for
#     scripts/wine-msi-tests.sh x64 build/rebuild/windows-x64.
#
# Prints one PASS/FAIL line per check and "N passed, M failed"; exits
# non-zero when any check fails.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/check-report.sh
mode=${1:-}
targets="x86 x64"

# The files of a Windows build that a release is made of or tests rely on.
artefacts() {
  (cd "$1" && find . -maxdepth 1 -type f \( -name '*.dll' -o -name '*.exe' -o -name '*.tlb' -o -name '*.msi' \
             -o -name '*.zip' -o -name THIRD-PARTY-NOTICES.txt -o -name SHA256SUMS \) -printf '%P\n' &&
   find generated test-packages -type f \( -name '*.tlb' -o -name '*.msi' \)) | sort
}

# build_and_pack TARGET FOLDER [CONFIGURE OPTIONS...]
build_and_pack() {
  local target=$1 folder=$2
  shift 2
  cmake --preset "windows-$target" -B "$folder" "$@" >"$folder.log" 2>&1 &&
    cmake --build "$folder" -j2 >>"$folder.log" 2>&1 &&
    cpack --config "$folder/CPackConfig.cmake" >>"$folder.log" 2>&1 ||
    { tail -n 20 "$folder.log"; return 1; }
}

check_sums() {
  if (cd "$1" && sha256sum --quiet -c SHA256SUMS) >/dev/null 2>&1 && [ "$(wc -l <"$1/SHA256SUMS")" -eq 3 ]; then
    pass "$1/SHA256SUMS: sha256sum -c accepts its $(cut -d' ' -f3 "$1/SHA256SUMS" | tr '\n' ' ')"
  else
    fail "$1/SHA256SUMS: sha256sum -c fails or lists other than the module, zip and package"
  fi
}

reproducible() {
  local target first second listed f differing
  mkdir -p build/rebuild
  for target in $targets; do
    first=build/windows-$target
    second=build/rebuild/windows-$target
    rm -rf "$second"
    mkdir -p "$second"
    if ! build_and_pack "$target" "$second"; then fail "building windows-$target in $second"; continue; fi
    listed=$(artefacts "$first")
    if [ "$listed" != "$(artefacts "$second")" ]; then
      fail "$first and $second hold different artefacts: $(diff <(echo "$listed") <(artefacts "$second") | tr '\n' ' ')"
    fi
    differing=""
    for f in $listed; do cmp -s "$first/$f" "$second/$f" || differing+=" $f"; done
    if [ -z "$differing" ]; then
      pass "windows-$target built again in $second: its $(echo "$listed" | wc -l) artefacts equal byte for byte"
    else
      fail "windows-$target built again in $second: differing:$differing"
    fi
    check_sums "$first"
  done
}

# verify WHAT FILE: osslsigncode verify against the throwaway authority.
verify() {
  if osslsigncode verify -CAfile "$signing/ca.pem" -in "$2" >"$signing/verify.log" 2>&1 &&
     grep -q '^Signature verification: ok' "$signing/verify.log" && ! grep -qi 'warning' "$signing/verify.log" &&
     grep -qE '^Message digest algorithm *: SHA256' "$signing/verify.log"; then
    pass "$1: SHA-256 signature by $(sed -n 's/^\s*Subject: //p' "$signing/verify.log" | head -n 1) verifies"
  else
    fail "$1: osslsigncode verify $2:"
    tail -n 8 "$signing/verify.log"
  fi
}

signed() {
  signing=build/signing
  rm -rf "$signing" && mkdir -p "$signing"
  # A certificate authority and a code-signing certificate it issues.
  cat >"$signing/extensions.cnf" <<'CNF'
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
CNF
  export ORVANTA_SIGNING_PASSWORD=throwaway
  if ! { openssl req -new -newkey rsa:2048 -nodes -keyout "$signing/ca.key" -subj "/CN=Throwaway test authority" \
           -out "$signing/ca.csr" &&
         openssl x509 -req -in "$signing/ca.csr" -signkey "$signing/ca.key" -days 30 \
           -extfile "$signing/extensions.cnf" -extensions ca -out "$signing/ca.pem" &&
         openssl req -new -newkey rsa:2048 -nodes -keyout "$signing/signer.key" -subj "/CN=Throwaway test signer" \
           -out "$signing/signer.csr" &&
         openssl x509 -req -in "$signing/signer.csr" -CA "$signing/ca.pem" -CAkey "$signing/ca.key" -set_serial 2 \
           -days 30 -extfile "$signing/extensions.cnf" -extensions signer -out "$signing/signer.pem" &&
         cat "$signing/signer.pem" "$signing/ca.pem" >"$signing/chain.pem" &&
         openssl pkcs12 -export -inkey "$signing/signer.key" -in "$signing/signer.pem" -certfile "$signing/ca.pem" \
           -passout env:ORVANTA_SIGNING_PASSWORD -out "$signing/signer.pfx"; } >"$signing/openssl.log" 2>&1; then
    fail "throwaway certificates: $(tail -n 3 "$signing/openssl.log")"
    return
  fi
  pass "throwaway certificate authority and code-signing certificate made"

  local target folder package
  for target in $targets; do
    folder=build/rebuild/windows-$target
    if [ "$target" = x64 ]; then
      set -- -DORVANTA_SIGNING_CERT="$PWD/$signing/chain.pem" -DORVANTA_SIGNING_KEY="$PWD/$signing/signer.key" \
             -DORVANTA_SIGNING_PFX=
    else
      set -- -DORVANTA_SIGNING_PFX="$PWD/$signing/signer.pfx" -DORVANTA_SIGNING_CERT= -DORVANTA_SIGNING_KEY=
    fi
    if ! build_and_pack "$target" "$folder" "$@"; then fail "signed build of windows-$target"; continue; fi
    package=$(ls "$folder"/*-"$target".msi)
    verify "windows-$target module (${1%%=*})" "$folder/TivOrvantaZNA100.dll"
    verify "windows-$target probe" "$folder/orvanta-probe.exe"
    verify "windows-$target package" "$package"
    rm -rf "$signing/extract"
    if msiextract -C "$signing/extract" "$package" >/dev/null 2>&1; then
      verify "windows-$target module inside the package" "$(find "$signing/extract" -name TivOrvantaZNA100.dll)"
      verify "windows-$target probe inside the package" "$(find "$signing/extract" -name orvanta-probe.exe)"
    else
      fail "msiextract $package"
    fi
    if unzip -p "$(ls "$folder"/*.zip)" TivOrvantaZNA100.dll | cmp -s - "$folder/TivOrvantaZNA100.dll"; then
      pass "windows-$target zip carries the signed module"
    else
      fail "windows-$target zip does not carry the signed module"
    fi
    check_sums "$folder"
  done
}

case "$mode" in
  reproducible) reproducible ;;
  signed) signed ;;
  *) echo "usage: $0 reproducible|signed" >&2; exit 2 ;;
esac
summary "release checks ($mode)"
