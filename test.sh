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

echo "== windows: the module's sources against the platform's own headers"
scripts/check-windows-compile.sh

echo "== all passed in $(( $(date +%s) - started )) s"
