#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Exit status 0 only when all pass.
set -euo pipefail
cd "$(dirname "$0")"
started=$(date +%s)

scripts/install-deps.sh

echo "== native: build and test"
cmake --preset native
cmake --build --preset native
ctest --preset native

echo "== native: probe"
./build/native/orvanta-probe --json > build/native/probe.json
grep -c '"position"' build/native/probe.json | grep -qx 96

echo "== windows: both modules (x86 and x64), their static checks and zips"
for arch in x86 x64; do
  cmake --preset windows-$arch
  cmake --build --preset windows-$arch
done
scripts/check-dll-static.sh build/windows-x86/TivOrvantaZNA100.dll win32
scripts/check-dll-static.sh build/windows-x64/TivOrvantaZNA100.dll win64
# The check must refuse a module of the other target.
if scripts/check-dll-static.sh build/windows-x64/TivOrvantaZNA100.dll win32 >/dev/null 2>&1; then
  echo "check-dll-static.sh accepted the 64-bit module as a 32-bit one"
  exit 1
fi
for arch in x86 x64; do
  cpack --config build/windows-$arch/CPackConfig.cmake
done

echo "== windows: the 64-bit module under Wine (registration, client tests, script client, probe)"
scripts/wine-tests.sh

echo "== all passed in $(( $(date +%s) - started )) s"
