#!/usr/bin/env bash
# An installer package under Wine of its bitness, as an administrator deploys it:
#   scripts/wine-msi-tests.sh x64 [BUILD]   the 64-bit package (default)
#   scripts/wine-msi-tests.sh x86 [BUILD]   the 32-bit package, in a 32-bit prefix
# BUILD is the Windows build folder whose module and packages are tested
# (default build/windows-<target>), e.g. a signed build's.
#   - `msiexec /i /qn` installs TivOrvantaZNA100.dll and orvanta-probe.exe,
#     byte for byte the built ones, into C:\Program Files\TivOrvanta Components\TivOrvantaZNA100 and
#     registers exactly the entries of tests/common/expected_registry.h with
#     that path (no other key or value in their trees), and shows in "Apps
#     and Features" under its name with its bitness, with its installation
#     folder and size, offering repair and removal but no modification;
#   - a script client creates the class by program identifier and reads the
#     name of its type (tests-wine/installed_client.vbs); the installed probe's
#     --diagnose finds no failure;
#   - installing the same package again changes nothing; the package one
#     version higher (test-packages/) replaces it in place, and the older one
#     then refuses to install beside it;
#   - `msiexec /x /qn` removes the file, both folders and every key, and leaves
#     the classes hive exactly as exported before installation.
#
# Environment: WINEPREFIX, a prefix of the package's bitness of its own (a
# copy of a ready one will do); WINELOADER, the loader of that bitness
# (default /usr/lib/wine/wine64, or /usr/lib/wine/wine for x86).
# The prefix and its server stay the caller's: nothing here stops them. In a
# prefix where regsvr32 registered the module, run it only after
# `regsvr32 /u`.
# Needs the target's Windows build and a native C++ compiler. Prints one PASS/FAIL
# line per check and "N passed, M failed"; exits non-zero when any fails.
set -uo pipefail
cd "$(dirname "$0")/.."

: "${WINEPREFIX:?set WINEPREFIX to a Wine prefix of its own}"
export WINEPREFIX
target=${1:-x64}
case "$target" in
  x64) syskind=win64 program_files=ProgramFiles64Folder win64=yes bitness=64-bit ;;
  x86) syskind=win32 program_files=ProgramFilesFolder win64=no bitness=32-bit ;;
  *) echo "unknown target '$target'" >&2; exit 2 ;;
esac
source scripts/wine-env.sh
source scripts/check-report.sh
export WINELOADER=${WINELOADER:-$(wine_loader_of "$target")}
wine=$WINELOADER

source scripts/expected.sh
product=$(expected EXPECTED_MODULE)
maker=$(expected EXPECTED_MAKER)
version=$(expected EXPECTED_PACKAGE_VERSION)
next_version=$(expected EXPECTED_NEXT_PACKAGE_VERSION)
build=${2:-build/windows-$target}
product_name="$product ($bitness)"
module=$build/$product.dll
package=$build/$product-$(expected EXPECTED_FILE_VERSION)-$target.msi
next_package=$build/test-packages/$product-$(expected EXPECTED_NEXT_FILE_VERSION)-$target.msi
client=tests-wine/installed_client.vbs
# Where the package must put the module (what Wine calls the program files
# folder of the package's bitness).
folder_windows="C:\\Program Files\\$maker\\$product"
installed_windows="$folder_windows\\$product.dll"
maker_unix="$WINEPREFIX/drive_c/Program Files/$maker"
installed_unix="$maker_unix/$product/$product.dll"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-msi.XXXXXX")
[ -n "${ORVANTA_KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT


# Wine's programs write CR LF, and reg export writes UTF-16.
reg_text() { iconv -f UTF-16 -t UTF-8 "$1" | unix_lines; }
# msiexec with its output in files; its exit code.
msiexec() { "$wine" msiexec.exe "$@" >>"$work/msiexec.out" 2>&1; }
export_key() { "$wine" reg.exe export "$1" "$(windows_path "$2")" /y >/dev/null 2>&1; }

# The four trees of the registration as expected-registry lines (K key,
# V key name data), from `reg export`.
registered_lines() {
  local tree i=0
  : >"$work/registered"
  for tree in $(grep '^T' "$work/expected" | cut -f2); do
    i=$((i + 1))
    export_key "HKCR\\$tree" "$work/tree$i.reg" || continue
    reg_text "$work/tree$i.reg" | awk -v OFS='\t' '
      function unescape(s) { gsub(/\\\\/, "\001", s); gsub(/\\"/, "\"", s); gsub(/\001/, "\\", s); return s }
      /^\[HKEY_CLASSES_ROOT\\/ { key = substr($0, 20, length($0) - 20); print "K", key; next }
      /^@="/ { print "V", key, "", unescape(substr($0, 4, length($0) - 4)); next }
      /^"/ { split_at = index($0, "\"=\"");
             if (split_at == 0) { print "X", key, $0; next }
             print "V", key, unescape(substr($0, 2, split_at - 2)),
                   unescape(substr($0, split_at + 3, length($0) - split_at - 3)); next }
      /^[^;W ]/ && NF { print "X", key, $0 }' >>"$work/registered"
  done
  sort -o "$work/registered" "$work/registered"
}

# Passes when the registration is exactly the expected one: every value,
# and no key that is neither expected alone nor holds an expected value.
check_registration() {
  registered_lines
  local expected_keys
  expected_keys=$( { grep '^K' "$work/expected" | cut -f2; grep '^V' "$work/expected" | cut -f2; } | sort -u)
  if diff <(grep '^V' "$work/expected" | sort) <(grep -E '^(V|X)' "$work/registered") >"$work/diff" &&
     diff <(echo "$expected_keys") <(grep '^K' "$work/registered" | cut -f2) >>"$work/diff"; then
    pass "$1: the $(grep -c '^V' "$work/expected") values and $(echo "$expected_keys" | wc -l) keys of expected_registry.h, at $installed_windows"
  else
    fail "$1: the registration differs from expected_registry.h (< expected, > registered):"
    cat "$work/diff"
  fi
}

# The products of this name the installer knows, as "name version" lines.
installed_products() {
  export_key "$uninstall_key" "$work/uninstall.reg" || { echo "(no uninstall key)"; return; }
  reg_text "$work/uninstall.reg" | awk -v wanted="\"DisplayName\"=\"$product_name\"" '
    /^\[/ { if (name != "") print name, version; name = ""; version = ""; next }
    $0 == wanted { name = substr($0, 16, length($0) - 16) }
    /^"DisplayVersion"="/ { version = substr($0, 19, length($0) - 19) }
    END { if (name != "") print name, version }'
}
# The product's "Apps and Features" entry, as exported (after installed_products).
arp_entry() {
  reg_text "$work/uninstall.reg" | awk -v wanted="\"DisplayName\"=\"$product_name\"" '
    /^\[/ { if (found) exit; block = ""; next }
    { block = block $0 "\n" } $0 == wanted { found = 1 }
    END { if (found) printf "%s", block }'
}
check_arp_entry() {
  local entry location
  entry=$(arp_entry)
  location=$(echo "$entry" | sed -n 's/^"InstallLocation"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
  if [ "$location" = "$folder_windows\\" ]; then
    pass "$1: InstallLocation is $location"
  else
    fail "$1: InstallLocation is '$location', expected '$folder_windows\\'"
  fi
  # The platform's installer writes EstimatedSize from its costing; Wine's
  # always writes 0 there and the package's ARPSIZE as "Size".
  if echo "$entry" | grep -qE '^"EstimatedSize"=dword:0*[1-9a-f]|^"Size"="[1-9][0-9]*"$'; then
    pass "$1: size shown: $(echo "$entry" | grep -E '^"(EstimatedSize|Size)"=' | tr '\n' ' ')"
  else
    fail "$1: no size: $(echo "$entry" | grep -E '^"(EstimatedSize|Size)"=' | tr '\n' ' ')"
  fi
  if echo "$entry" | grep -qx '"NoModify"=dword:00000001' && ! echo "$entry" | grep -qE '^"No(Repair|Remove)"=dword:0*1$'; then
    pass "$1: repair and removal offered, modification not"
  else
    fail "$1: modify, repair, remove: $(echo "$entry" | grep -E '^"No(Modify|Repair|Remove)"' | tr '\n' ' ')"
  fi
}
# check_products WHEN "NAME VERSION" (or "" for none)
check_products() {
  local got
  got=$(installed_products)
  if [ "$got" = "$2" ]; then
    pass "$1: ${2:-no product} installed${2:+, once}"
  else
    fail "$1: installed products '$(echo "$got" | tr '\n' ';')', expected '$2'"
  fi
}

check_client() {
  "$wine" cscript.exe //nologo "$(windows_path "$client")" >"$work/client.out" 2>&1
  local rc=$?
  # The script prints a line whatever it finds. Nothing at all means cscript
  # never ran it (seen once in a new prefix under load): once more, said so.
  if [ "$rc" -ne 0 ] && [ ! -s "$work/client.out" ]; then
    echo "note: cscript exited $rc without running $client; trying once more"
    "$wine" cscript.exe //nologo "$(windows_path "$client")" >"$work/client.out" 2>&1
    rc=$?
  fi
  if [ "$rc" -eq 0 ] && grep -q '^PASS: TypeName' "$work/client.out"; then
    pass "$1: $(unix_lines <"$work/client.out" | grep '^PASS: TypeName' | sed 's/^PASS: //')"
  else
    fail "$1: $client exited $rc"
    unix_lines <"$work/client.out" | tail -n 5
  fi
}

check_module_file() {
  if cmp -s "$installed_unix" "$module" && cmp -s "${installed_unix%/*}/orvanta-probe.exe" "$build/orvanta-probe.exe"; then
    pass "$1: $installed_windows is the built module, the probe beside it"
  else
    fail "$1: $installed_windows or the probe beside it is missing or differs from the build"
  fi
}

# The installed probe finds the installed machine sound (TivDefn, the host's,
# is not installed: a warning).
check_diagnosis() {
  "$wine" "$folder_windows\\orvanta-probe.exe" --diagnose >"$work/diagnose.out" 2>&1
  local rc=$?
  if [ "$rc" -eq 0 ] && unix_lines <"$work/diagnose.out" | grep -q '^all checks passed'; then
    pass "$1: orvanta-probe --diagnose: $(unix_lines <"$work/diagnose.out" | tail -n 1)"
  else
    fail "$1: orvanta-probe --diagnose exited $rc"
    unix_lines <"$work/diagnose.out" | grep -v '^PASS' | tail -n 8
  fi
}

echo "== wine: $("$wine" --version 2>/dev/null), prefix $WINEPREFIX"
for f in "$module" "$package" "$next_package" "$build/THIRD-PARTY-NOTICES.txt" "$client" tests/common/expected_registry_lines.cpp; do
  [ -f "$f" ] || { fail "$f is missing (build the windows-$target preset first)"; summary "installer tests"; exit 1; }
done
if ! ${CXX:-c++} -std=c++17 -o "$work/expected-registry-lines" tests/common/expected_registry_lines.cpp; then
  fail "building expected-registry-lines"; summary "installer tests"; exit 1
fi
# The package writes the library flags the platform writes ("0"), not the
# one Wine's own type-library registration adds.
"$work/expected-registry-lines" "$installed_windows" "$syskind" 0 >"$work/expected"
package_windows=$(windows_path "$package")
next_windows=$(windows_path "$next_package")

# ---- the prefix, before ----
# What Wine's installer and script host create for themselves on first use
# (the installer's own keys in the classes hive, the script host's type
# library) happens now, with a throwaway package, not between the snapshots.
mkdir -p "$work/prepare"
echo "prepare" >"$work/prepare/prepare.txt"
echo 'WScript.Quit 0' >"$work/prepare/prepare.vbs"
cat >"$work/prepare/prepare.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="7B0E2F4C-5D1A-4E7B-9C3F-2A6D8E1F0B35" Name="OrvantaPrepare" Language="1033"
           Version="1.0.0" Manufacturer="OrvantaPrepare" UpgradeCode="3C9A1B7E-8F2D-4A6C-B5E0-1D7F9A2C4E68">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="prepare.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$program_files">
        <Directory Id="INSTALLDIR" Name="OrvantaPrepare">
          <Component Id="Prepare" Guid="5E2B8D41-7A3C-4F90-8B6E-C1D2A3F4B5E6" Win64="$win64">
            <File Id="prepare.txt" Source="prepare.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Prepare" Level="1"><ComponentRef Id="Prepare"/></Feature>
  </Product>
</Wix>
EOF
if (cd "$work/prepare" && wixl -a "$target" -o prepare.msi prepare.wxs >/dev/null 2>&1) &&
   prepare_windows=$(windows_path "$work/prepare/prepare.msi") &&
   msiexec /i "$prepare_windows" /qn && msiexec /x "$prepare_windows" /qn &&
   "$wine" cscript.exe //nologo "$(windows_path "$work/prepare/prepare.vbs")" >/dev/null 2>&1; then
  pass "prefix prepared (a throwaway package installed and removed)"
else
  fail "prefix prepared: $(unix_lines <"$work/msiexec.out" | tail -n 3)"
fi
export_key HKCR "$work/before.reg" || fail "classes hive exported before installation"
if [ -n "$(installed_products)" ] || [ -e "$maker_unix" ]; then
  fail "a fresh prefix has no $package installed"
fi

# ---- install ----
msiexec /i "$package_windows" /qn /l*v "$(windows_path "$work/install.log")"
rc=$?
if [ "$rc" -eq 0 ]; then pass "msiexec /i $package /qn"; else fail "msiexec /i $package /qn exited $rc"; fi
check_module_file "installed"
if cmp -s "${installed_unix%/*}/THIRD-PARTY-NOTICES.txt" "$build/THIRD-PARTY-NOTICES.txt"; then
  pass "installed: THIRD-PARTY-NOTICES.txt beside the module"
else
  fail "installed: THIRD-PARTY-NOTICES.txt is missing or differs from $build/THIRD-PARTY-NOTICES.txt"
fi
check_registration "installed"
check_products "installed" "$product_name $version"
check_arp_entry "installed"
check_client "installed"
check_diagnosis "installed"
export_key HKCR "$work/installed.reg" || fail "classes hive exported after installation"

# ---- the same package again ----
msiexec /i "$package_windows" /qn
rc=$?
if [ "$rc" -eq 0 ]; then pass "msiexec /i $package /qn again"; else fail "msiexec /i $package /qn again exited $rc"; fi
check_module_file "installed again"
# Wine's installer records the package's folder in the product's source list
# once more on every run (the platform's does not): that list is the
# installer's own record, left out of this comparison.
without_source_lists() {
  reg_text "$1" | awk '/^\[/ { skip = ($0 ~ /^\[HKEY_CLASSES_ROOT\\Installer\\Products\\[^\\]*\\SourceList/) } !skip'
}
export_key HKCR "$work/again.reg"
if diff <(without_source_lists "$work/installed.reg") <(without_source_lists "$work/again.reg") >"$work/diff"; then
  pass "installed again: the classes hive is unchanged (but for Wine's record of the package's source)"
else
  fail "installed again: the classes hive changed:"
  head -n 20 "$work/diff"
fi
check_products "installed again" "$product_name $version"

# ---- upgrade ----
msiexec /i "$next_windows" /qn /l*v "$(windows_path "$work/upgrade.log")"
rc=$?
if [ "$rc" -eq 0 ]; then pass "msiexec /i $next_package /qn (upgrade)"; else fail "msiexec /i $next_package /qn exited $rc"; fi
check_products "upgraded" "$product_name $next_version"
check_module_file "upgraded"
check_registration "upgraded"
check_client "upgraded"

msiexec /i "$package_windows" /qn
rc=$?
if [ "$rc" -ne 0 ]; then pass "the older package refuses to install over the newer one (exit $rc)"; else fail "the older package installed over the newer one"; fi
check_products "after the older package" "$product_name $next_version"

# ---- remove ----
msiexec /x "$next_windows" /qn /l*v "$(windows_path "$work/remove.log")"
rc=$?
if [ "$rc" -eq 0 ]; then pass "msiexec /x $next_package /qn"; else fail "msiexec /x $next_package /qn exited $rc"; fi
if [ ! -e "$installed_unix" ] && [ ! -e "$maker_unix" ]; then
  pass "removed: the module and its folders are gone"
else
  fail "removed: left behind: $(find "$maker_unix" 2>/dev/null | tr '\n' ' ')"
fi
check_products "removed" ""
export_key HKCR "$work/after.reg" || fail "classes hive exported after removal"
if [ -s "$work/before.reg" ] && cmp -s "$work/before.reg" "$work/after.reg"; then
  pass "removed: the classes hive equals the one before installation"
else
  fail "removed: the classes hive differs from the one before installation:"
  diff <(reg_text "$work/before.reg") <(reg_text "$work/after.reg") | head -n 40
fi

summary "installer tests"
