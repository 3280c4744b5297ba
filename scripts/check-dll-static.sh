#!/usr/bin/env bash
# Checks a built TivOrvantaZNA100.dll without running it:
#   scripts/check-dll-static.sh DLL win32|win64
# - orvanta-pecheck (tests/pecheck, built for this machine beside the DLL in
#   host-tools/): machine, exactly the four exports by ordinal and
#   undecorated name, only system DLLs imported, the TYPELIB 1 resource
#   (language neutral) byte for byte equal to a library freshly written by
#   orvanta-typelib-gen for the same target, and the version block;
# - objdump of the matching binutils, independently: file format, the export
#   table and the imported DLLs.
# Exits 0 when everything holds.
set -euo pipefail

if [ $# -ne 2 ] || { [ "$2" != win32 ] && [ "$2" != win64 ]; }; then
  echo "usage: $0 DLL win32|win64" >&2
  exit 2
fi
dll=$1
target=$2
tools=${ORVANTA_HOST_TOOLS:-$(dirname "$dll")/host-tools}
pecheck=$tools/orvanta-pecheck
generator=${ORVANTA_TYPELIB_GEN:-$tools/orvanta-typelib-gen}
for f in "$dll" "$pecheck" "$generator"; do
  [ -f "$f" ] || { echo "check-dll-static: $f is missing (build the Windows preset first)" >&2; exit 2; }
done

if [ "$target" = win32 ]; then
  objdump=i686-w64-mingw32-objdump
  format=pei-i386
else
  objdump=x86_64-w64-mingw32-objdump
  format=pei-x86-64
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL $1"; failed=1; }
ok() { echo "ok   $1"; }

echo "== $dll ($target)"
"$generator" --target "$target" "$work/expected.tlb"
"$pecheck" --target "$target" --typelib "$work/expected.tlb" "$dll" || failed=1

echo "-- $objdump"
"$objdump" -p "$dll" > "$work/objdump.txt" 2>&1 || fail "$objdump cannot read the file"
if grep -q "file format $format\$" "$work/objdump.txt"; then
  ok "file format $format"
else
  fail "file format: $(grep -o 'file format .*' "$work/objdump.txt" | head -n 1)"
fi

# "[   0] +base[   1] 4ce0 Export RVA" gives the ordinals in table order,
# "[   0] DllCanUnloadNow" the names in the name table's order.
ordinals=$(sed -n 's/^\s*\[ *[0-9]*\] +base\[ *\([0-9]*\)\].*Export RVA$/\1/p' "$work/objdump.txt" | tr '\n' ' ')
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/ s/^\s*\[ *[0-9]*\] \(.*\)$/\1/p' "$work/objdump.txt" | tr '\n' ' ')
if [ "$ordinals" = "1 2 3 4 " ]; then ok "export ordinals 1 2 3 4"; else fail "export ordinals: $ordinals"; fi
if [ "$names" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
  ok "export names: $names"
else
  fail "export names: $names"
fi

imports=$(sed -n 's/^\s*DLL Name: //p' "$work/objdump.txt" | tr '[:upper:]' '[:lower:]' | sort | tr '\n' ' ')
foreign=""
for library in $imports; do
  case $library in
    kernel32.dll | oleaut32.dll | ole32.dll | advapi32.dll | msvcrt.dll | user32.dll) ;;
    *) foreign="$foreign $library" ;;
  esac
done
if [ -z "$foreign" ] && [ -n "$imports" ]; then ok "imports: $imports"; else fail "imports besides system DLLs:$foreign"; fi

if [ "$failed" -eq 0 ]; then echo "== $dll: all static checks passed"; else echo "== $dll: static checks FAILED"; fi
exit "$failed"
