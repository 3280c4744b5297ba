#!/usr/bin/env bash
# Checks a built installer package from its tables, without installing it
# (msiinfo and msiextract from msitools):
#   - summary: the target platform; properties: product name with the
#     target's bitness, maker, version, per-machine installation, the
#     target's fixed upgrade code; "Apps and Features": no modify, the
#     installation folder and the size;
#   - a launch condition refusing Windows older than Vista (VersionNT 600);
#   - TivOrvantaZNA100.dll and orvanta-probe.exe, byte for byte the built
#     ones, and beside them THIRD-PARTY-NOTICES.txt (byte for byte the
#     build's, when the module's folder has it), in <program files of the
#     target>\TivOrvanta Components\TivOrvantaZNA100; the module's component
#     in the target's registry view; nothing else shipped;
#   - the Registry table: exactly the entries of tests/common/expected_registry.h
#     with the installed file's path, the four key trees removed whole on
#     uninstall; no self-registration, no type library table;
#   - the major upgrade rule: older versions of the same upgrade code are
#     removed before installing, newer ones stop the installation.
#
#   scripts/check-msi-static.sh PACKAGE MODULE win32|win64
#
# Prints one PASS/FAIL line per check and "N passed, M failed"; exits
# non-zero when any check fails.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 3 ] || { [ "$3" != win32 ] && [ "$3" != win64 ]; }; then
  echo "usage: $0 PACKAGE MODULE win32|win64" >&2
  exit 2
fi
package=$1
module=$2
syskind=$3

# What the package must say, independently of the build that made it.
source scripts/expected.sh
product=$(expected EXPECTED_MODULE)
maker=$(expected EXPECTED_MAKER)
version=$(expected EXPECTED_PACKAGE_VERSION)
notices=THIRD-PARTY-NOTICES.txt
if [ "$syskind" = win64 ]; then
  bitness=64-bit
  template='x64;1033'
  folder=ProgramFiles64Folder
  upgrade_code='{65536816-87D6-47F8-B7F4-25AB0BF3154A}'
  component_64bit=256
else
  bitness=32-bit
  template='Intel;1033'
  folder=ProgramFilesFolder
  upgrade_code='{023D6E28-EA7D-4E53-96EB-39FFDA7BB1A8}'
  component_64bit=0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-msi-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

source scripts/check-report.sh
check() { if [ "$2" = "$3" ]; then pass "$1 is '$3'"; else fail "$1 is '$2', expected '$3'"; fi; }

for f in "$package" "$module"; do
  [ -f "$f" ] || { fail "$f is missing"; summary; exit 1; }
done

# A table's rows without its three header lines.
rows() { msiinfo export "$package" "$1" 2>/dev/null | tail -n +4 | tr -d '\r'; }
property() { rows Property | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }

echo "== $package ($syskind)"
check "summary Template" "$(msiinfo suminfo "$package" | sed -n 's/^Template: //p')" "$template"
check "ProductName" "$(property ProductName)" "$product ($bitness)"
check "Manufacturer" "$(property Manufacturer)" "$maker"
check "ProductVersion" "$(property ProductVersion)" "$version"
check "ALLUSERS" "$(property ALLUSERS)" 1
check "UpgradeCode" "$(property UpgradeCode)" "$upgrade_code"
check "ARPNOMODIFY" "$(property ARPNOMODIFY)" 1
if [ "$(property ARPSIZE)" -gt 0 ] 2>/dev/null; then pass "ARPSIZE is $(property ARPSIZE) KiB"; else fail "ARPSIZE is '$(property ARPSIZE)'"; fi
install_location=$(rows CustomAction | awk -F'\t' '$3 == "ARPINSTALLLOCATION" && $4 == "[INSTALLDIR]" && $2 % 64 == 51 { print $1 }')
if [ -n "$install_location" ] &&
   rows InstallExecuteSequence | awk -F'\t' -v a="$install_location" '$1 == a && $3 > 1000 && $3 < 6100 { found = 1 } END { exit !found }'; then
  pass "ARPINSTALLLOCATION is set to [INSTALLDIR] after CostFinalize, before RegisterProduct"
else
  fail "ARPINSTALLLOCATION is not set to [INSTALLDIR] in the execute sequence"
fi

# ---- the file and its folder ----
rows File >"$work/files"
awk -F'\t' -v f="$product.dll" '$3 == f' "$work/files" >"$work/file"
shipped="$(printf '%s\n' "$product.dll" orvanta-probe.exe "$notices" | sort | tr '\n' ' ')"
if [ "$(cut -f3 "$work/files" | sort | tr '\n' ' ')" = "$shipped" ]; then
  pass "File table: $shipped"
else
  fail "File table: $(cut -f3 "$work/files" | tr '\n' ' ')"
fi
file_key=$(cut -f1 "$work/file" | head -n 1)
file_component=$(cut -f2 "$work/file" | head -n 1)
check "$product.dll size" "$(cut -f4 "$work/file" | head -n 1)" "$(stat -c %s "$module")"
folder_of() { # the folder of the component that installs file $1
  rows Component | awk -F'\t' -v c="$(awk -F'\t' -v f="$1" '$3 == f { print $2 }' "$work/files")" \
    '$1 == c { print $3 }'
}
for beside in orvanta-probe.exe "$notices"; do
  check "$beside folder" "$(folder_of "$beside")" "$(folder_of "$product.dll")"
done

# Older Windows is refused: the module needs Vista (6.0).
if rows LaunchCondition | awk -F'\t' '$1 == "Installed OR VersionNT >= 600" && $2 ~ /Windows Vista/ { found = 1 } END { exit !found }'; then
  pass "launch condition: Windows Vista (VersionNT 600) or later, with a message naming it"
else
  fail "no launch condition refusing Windows older than Vista: $(rows LaunchCondition | tr '\n\t' '; ')"
fi

# The folder chain up from the file's component: name <- parent <- ...
component_row=$(rows Component | awk -F'\t' -v c="$file_component" '$1 == c')
component_dir=$(echo "$component_row" | cut -f3)
rows Directory >"$work/directory"
chain=""
dir=$component_dir
while [ -n "$dir" ] && [ "$dir" != TARGETDIR ]; do
  line=$(awk -F'\t' -v d="$dir" '$1 == d' "$work/directory")
  [ -n "$line" ] || break
  name=$(echo "$line" | cut -f3)
  case "$dir" in ProgramFiles*Folder) name=$dir ;; esac
  chain="$name${chain:+\\$chain}"
  dir=$(echo "$line" | cut -f2)
done
check "installation folder" "$chain" "$folder\\$maker\\$product"
check "component key path" "$(echo "$component_row" | cut -f6)" "$file_key"
check "component 64-bit attribute" "$(( $(echo "$component_row" | cut -f4) & 256 ))" "$component_64bit"

# What the cabinet holds: the built module, the probe and the notices, nothing else.
probe="$(dirname "$module")/orvanta-probe.exe"
if msiextract -C "$work/extract" "$package" >/dev/null 2>&1; then
  # msiextract names the 32-bit program files folder and not the 64-bit one.
  (cd "$work/extract" && find . -type f | sort) >"$work/extracted"
  extracted_module=$(grep "/$maker/$product/$product.dll\$" "$work/extracted")
  extracted_probe=$(grep "/$maker/$product/orvanta-probe.exe\$" "$work/extracted")
  extracted_notices=$(grep "/$maker/$product/$notices\$" "$work/extracted")
  built_notices=$(dirname "$module")/$notices
  if [ "$(wc -l <"$work/extracted")" -eq 3 ] && [ -n "$extracted_module" ] &&
     [ -n "$extracted_probe" ] && [ -n "$extracted_notices" ] &&
     cmp -s "$work/extract/$extracted_module" "$module" &&
     cmp -s "$work/extract/$extracted_probe" "$probe" &&
     { [ ! -f "$built_notices" ] || cmp -s "$work/extract/$extracted_notices" "$built_notices"; }; then
    pass "the package holds $product.dll and orvanta-probe.exe, byte for byte the built ones, and $notices beside them"
  else
    fail "the package holds: $(tr '\n' ' ' <"$work/extracted")"
  fi
else
  fail "msiextract $package"
fi
if msiinfo streams "$package" 2>/dev/null | grep -qi 'TivDefn' || grep -qai 'TivDefn\.tlb' "$work/files"; then
  fail "TivDefn.tlb is in the package"
else
  pass "TivDefn.tlb is not in the package"
fi

# ---- registration ----
# The Registry table as expected-registry lines: "-" rows remove a tree on
# uninstall, "+"/"*" rows make a key; every other row is a value.
rows Registry >"$work/registry"
awk -F'\t' -v OFS='\t' '
  $2 != 0 { print "ROOT", $1, $2; next }
  $4 == "-" && $5 == "" { print "T", $3; next }
  ($4 == "+" || $4 == "*") && $5 == "" { print "K", $3; next }
  { print "V", $3, $4, $5 }' "$work/registry" | sort >"$work/package-lines"
c++ -std=c++17 -o "$work/expected-registry-lines" tests/common/expected_registry_lines.cpp ||
  { fail "building expected-registry-lines"; summary; exit 1; }
"$work/expected-registry-lines" "[#$file_key]" "$syskind" 0 | sort >"$work/expected-lines"

grep '^ROOT' "$work/package-lines" | while read -r _ id root; do echo "FAIL: Registry row $id has root $root, expected 0 (HKCR)"; done
[ -z "$(grep '^ROOT' "$work/package-lines")" ] || failed=$((failed + 1))
if diff <(grep -E '^(V|T)' "$work/expected-lines") <(grep -E '^(V|T)' "$work/package-lines") >"$work/diff"; then
  pass "Registry table: the $(grep -c '^V' "$work/expected-lines") values of expected_registry.h and its $(grep -c '^T' "$work/expected-lines") key trees"
else
  fail "Registry table differs from expected_registry.h (< expected, > package):"
  cat "$work/diff"
fi
# A key alone exists when a row makes it or a value lies below it.
missing_keys=""
while IFS=$'\t' read -r _ key; do
  if ! grep -qxF "K	$key" "$work/package-lines" &&
     ! cut -f2 "$work/package-lines" | grep -q "^$(printf '%s' "$key" | sed 's/[][\\.*^$]/\\&/g')\\\\"; then
    missing_keys+=" $key"
  fi
done < <(grep '^K' "$work/expected-lines")
extra_keys=$(comm -13 <(grep '^K' "$work/expected-lines") <(grep '^K' "$work/package-lines") | cut -f2)
if [ -z "$missing_keys" ] && [ -z "$extra_keys" ]; then
  pass "Registry table: the $(grep -c '^K' "$work/expected-lines") keys without values"
else
  fail "Registry table: keys missing:${missing_keys:- none}; keys not expected: ${extra_keys:-none}"
fi
if [ -z "$(awk -F'\t' -v c="$file_component" '$6 != c' "$work/registry")" ]; then
  pass "every registry entry belongs to the module's component"
else
  fail "registry entries outside the module's component"
fi
tables=$(msiinfo tables "$package" 2>/dev/null)
if [ -z "$(rows SelfReg 2>/dev/null)" ] && ! echo "$tables" | grep -qx TypeLib &&
   ! rows InstallExecuteSequence | cut -f1 | grep -qE '^(SelfRegModules|SelfUnregModules|RegisterTypeLibraries)$'; then
  pass "no self-registration and no type library registration by the installer"
else
  fail "the package self-registers or registers the type library itself"
fi

# ---- the upgrade rule ----
rows Upgrade >"$work/upgrade"
# UpgradeCode VersionMin VersionMax Language Attributes Remove ActionProperty
older=$(awk -F'\t' -v u="$upgrade_code" -v v="$version" \
  '$1 == u && $2 == "" && $3 == v && int($5 / 2) % 2 == 0 && int($5 / 512) % 2 == 0 { print $7 }' "$work/upgrade")
newer=$(awk -F'\t' -v u="$upgrade_code" -v v="$version" \
  '$1 == u && $2 == v && $3 == "" && int($5 / 2) % 2 == 1 { print $7 }' "$work/upgrade")
if [ -n "$older" ] && [ -n "$newer" ] && [ "$(wc -l <"$work/upgrade")" -eq 2 ]; then
  pass "Upgrade table: versions below $version are replaced ($older), newer ones detected ($newer)"
else
  fail "Upgrade table:"; cat "$work/upgrade"
fi
if rows LaunchCondition | cut -f1 | grep -qx "NOT $newer"; then
  pass "a newer installed version stops the installation (NOT $newer)"
else
  fail "no launch condition against a newer installed version"
fi
sequence=$(rows InstallExecuteSequence | sort -t$'\t' -k3,3n | cut -f1 | tr '\n' ' ')
if echo "$sequence" | grep -q 'FindRelatedProducts .*InstallValidate RemoveExistingProducts InstallInitialize'; then
  pass "the older product is removed before anything is installed"
else
  fail "execute sequence: $sequence"
fi

summary
