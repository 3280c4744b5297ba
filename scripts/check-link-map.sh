#!/usr/bin/env bash
# Checks a Windows module's link map (ld -Map with --cref): nothing of the
# tests is linked in, and no object of the module's own uses emulated
# thread-local storage, whose first touch on a thread allocates and ends the
# process when that fails. Prints which runtime-library objects still use it.
#   scripts/check-link-map.sh build/windows-x64/TivOrvantaZNA100.map
set -euo pipefail
map=${1:?usage: check-link-map.sh MAP}
[ -f "$map" ] || { echo "FAIL: no link map at $map"; exit 1; }
grep -q '^Cross Reference Table' "$map" || { echo "FAIL: $map has no cross-reference table"; exit 1; }

source "$(dirname "$0")/expected.sh"
if found=$(grep -oE "$test_only_symbols" "$map" | sort -u) && [ -n "$found" ]; then
  echo "FAIL: test-only code in the module:" $found
  exit 1
fi
echo "PASS: nothing of the tests is linked in"

# In the table a symbol's line names the object defining it; the indented
# lines below it name the objects referring to it.
users=$(awk '
  /^Cross Reference Table/ { table = 1; next }
  !table { next }
  /^[^ \t]/ { symbol = $1; file = $2 }
  /^[ \t]/ { file = $1 }
  symbol ~ /^_*emutls_/ && file != "" { print file }
' "$map" | sort -u)

own=$(grep -v '\.a(' <<<"$users" || true)
if [ -n "$own" ]; then
  echo "FAIL: objects of the module's own use emulated thread-local storage:"
  sed 's/^/  /' <<<"$own"
  exit 1
fi
echo "PASS: no object of the module's own uses emulated thread-local storage"
if [ -n "$users" ]; then
  echo "  runtime-library objects that do:"
  sed -E 's/^.*\/([^/]+\.a\()/  \1/' <<<"$users"
fi
