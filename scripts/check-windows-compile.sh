#!/usr/bin/env bash
# Compiles the module's sources (not the stand-in) with mingw-w64 against the
# real Windows headers, so the portable layer never drifts from the platform.
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=x86_64-w64-mingw32-g++
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
n=0
for f in runtime/*.cpp definition/*.cpp frame/*.cpp tools/probe/*.cpp; do
  "$cxx" -std=c++17 -Wall -Wextra -Werror -DUNICODE -D_UNICODE -I. -c "$f" -o "$out/$n.o"
  n=$((n + 1))
done
echo "compiled $n sources for Windows"
