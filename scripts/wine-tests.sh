#!/usr/bin/env bash
# Runs one Windows build of the module under Wine, in a fresh prefix, as an
# installer and its clients would use it:
#   scripts/wine-tests.sh x64   build/windows-x64 under 64-bit Wine (default)
#   scripts/wine-tests.sh x86   build/windows-x86 under 32-bit Wine
# Steps:
#   - registers TivOrvantaZNA100.dll with the target's `regsvr32 /s`;
#   - runs orvanta-wine-tests.exe (GoogleTest) against the registered module;
#   - runs the script client tests-wine/default_face.js with the target's cscript;
#   - compares `orvanta-probe.exe --json` byte for byte with the native probe;
#   - runs `orvanta-probe.exe --diagnose` on machine states made on purpose
#     (scripts/wine-diagnose-cases.sh);
#   - unregisters with `regsvr32 /u /s` and checks that the classes hive is
#     exactly as it was before registration;
#   - installs, reinstalls, upgrades and removes the target's installer
#     package (scripts/wine-msi-tests.sh).
# Prints one PASS/FAIL line per check and "N passed, M failed"; exits non-zero
# when any check fails. Needs the target's Windows build and the native build.
set -uo pipefail
cd "$(dirname "$0")/.."
target=${1:-x64}

build=build/windows-$target
native=build/native
dll=$build/TivOrvantaZNA100.dll
tests_exe=$build/orvanta-wine-tests.exe
probe_exe=$build/orvanta-probe.exe
script=tests-wine/default_face.js
source scripts/expected.sh
class_key="HKCR\\CLSID\\$(expected EXPECTED_CLSID)"
progid_key="HKCR\\$(expected EXPECTED_PROGID)"
typelib_key="HKCR\\TypeLib\\$(expected EXPECTED_LIBID)"
interface_key="HKCR\\Interface\\$(expected EXPECTED_IID)"

source scripts/wine-env.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-wine-work.XXXXXX")
finish() {
  wine_stop
  rm -rf "$work"
}
trap finish EXIT

source scripts/check-report.sh

# Wine's console output ends its lines with CR LF. Every Wine program writes
# to files, never into a pipe: the prefix's services would inherit the pipe
# and hold it open.
# True when the key exists in the registry of this prefix.
key_exists() { wine reg.exe query "$1" >/dev/null 2>&1; }
# The default value of a key, as `reg query /ve` prints it.
default_value() {
  wine reg.exe query "$1" /ve >"$work/query.out" 2>/dev/null
  unix_lines "$work/query.out" | sed -n 's/^ *(Default) *REG_SZ *//p' | head -n 1
}

missing=0
# The host library's stand-ins that tests-wine/CMakeLists.txt builds.
host_variants="Renumbered Swapped NameAsVariant LimitArgumentsSwapped AttachmentAsVariant
               CategoryWithoutRetval ExtraOptional FamilyTotalIn ReadInOutWrittenOut"
for f in "$dll" "$tests_exe" "$probe_exe" "$build/TivDefn.tlb" \
         $(for v in $host_variants; do echo "$build/TivDefn$v.tlb"; done) \
         "$native/orvanta-probe" "$script"; do
  if [ ! -f "$f" ]; then
    fail "$f is missing (build the windows-$target and native presets first)"
    missing=1
  fi
done
[ "$missing" -eq 0 ] || { summary "wine $target tests"; exit 1; }

if wine_start "$target"; then
  pass "fresh $target prefix ($(( $(date +%s) - check_started )) s, $WINE_LOADER)"
else
  fail "fresh $target prefix: $(tail -n 3 "$WINEPREFIX.boot.log" 2>/dev/null)"
  summary "wine $target tests"
  exit 1
fi

# What Wine registers for itself the first time a program uses it happens
# now, not between the snapshots compared below: the standard OLE type
# library (loaded once by the test program) and the script host's type
# library (registered by cscript's first run).
echo 'WScript.Quit(0);' >"$work/prepare.js"
if wine "$tests_exe" --prepare-registry >/dev/null 2>"$work/prepare.err" &&
   wine cscript.exe //nologo "$(windows_path "$work/prepare.js")" >/dev/null 2>>"$work/prepare.err"; then
  pass "prefix prepared"
else
  fail "prefix prepared: $(unix_lines "$work/prepare.err" | tail -n 3)"
fi
wine reg.exe export HKCR "$(windows_path "$work/before.reg")" /y >/dev/null 2>&1 ||
  fail "classes hive exported before registration"
if key_exists "$class_key" || key_exists "$progid_key"; then
  fail "class not registered in a fresh prefix"
fi

# ---- registration ----
dll_windows=$(windows_path "$dll")
wine regsvr32.exe /s "$dll_windows" >/dev/null 2>&1
rc=$?
if [ "$rc" -eq 0 ]; then pass "regsvr32 /s $dll"; else fail "regsvr32 /s $dll exited $rc (3: cannot load, 4: no entry point, 5: entry point failed)"; fi

inproc=$(default_value "$class_key\\InprocServer32")
if [ "$inproc" = "$dll_windows" ]; then
  pass "InprocServer32 is $inproc"
else
  fail "InprocServer32 is '$inproc', expected '$dll_windows'"
fi

# ---- the client test program ----
echo "== orvanta-wine-tests.exe ($target)"
wine "$tests_exe" >"$work/tests.raw" 2>"$work/tests.err"
rc=$?
unix_lines "$work/tests.raw" >"$work/tests.out"
cat "$work/tests.out"
# GoogleTest ends with its summary: "[  PASSED  ] N tests." and, after
# failures, the list of failed tests and "N FAILED TESTS".
tests_passed=$(grep -E '^\[  PASSED  \] [0-9]+ tests?\.' "$work/tests.out" | tail -n 1)
last_line=$(grep -v '^ *$' "$work/tests.out" | tail -n 1)
if [ "$rc" -eq 0 ] && [ -n "$tests_passed" ] && ! grep -q '^\[  FAILED  \]' "$work/tests.out" &&
   { [ "$last_line" = "$tests_passed" ] || echo "$last_line" | grep -qE '^ *YOU HAVE [0-9]+ DISABLED TESTS?$'; }; then
  pass "orvanta-wine-tests.exe: ${tests_passed#\[  PASSED  \] }"
else
  fail "orvanta-wine-tests.exe exited $rc; last line: $last_line"
  unix_lines "$work/tests.err" | tail -n 20
fi

# ---- a script client ----
echo "== cscript $script ($target)"
wine cscript.exe //nologo "$(windows_path "$script")" >"$work/script.raw" 2>"$work/script.err"
rc=$?
unix_lines "$work/script.raw" >"$work/script.out"
cat "$work/script.out"
if [ "$rc" -eq 0 ] && grep -q '^PASS: obj.Name()' "$work/script.out" && ! grep -q '^FAIL' "$work/script.out"; then
  pass "cscript $script"
else
  fail "cscript $script exited $rc"
  unix_lines "$work/script.err" | tail -n 5
fi

# ---- the probe, Windows against native ----
wine "$probe_exe" --json >"$work/probe-windows.json" 2>"$work/probe.err"
rc_windows=$?
"$native/orvanta-probe" --json >"$work/probe-native.json" 2>/dev/null
rc_native=$?
if [ "$rc_windows" -eq 0 ] && [ "$rc_native" -eq 0 ] &&
   cmp -s "$work/probe-windows.json" "$work/probe-native.json"; then
  pass "orvanta-probe.exe --json equals the native probe ($(wc -c <"$work/probe-native.json") bytes)"
else
  fail "orvanta-probe.exe --json (exit $rc_windows) differs from the native probe (exit $rc_native)"
  cmp "$work/probe-windows.json" "$work/probe-native.json" 2>&1 | head -n 3
  unix_lines "$work/probe.err" | tail -n 5
fi

# ---- the diagnosis, on machine states made on purpose ----
echo "== orvanta-probe.exe --diagnose ($target)"
source scripts/wine-diagnose-cases.sh
diagnose_cases

# ---- unregistration ----
wine regsvr32.exe /u /s "$dll_windows" >/dev/null 2>&1
rc=$?
if [ "$rc" -eq 0 ]; then pass "regsvr32 /u /s $dll"; else fail "regsvr32 /u /s $dll exited $rc"; fi
for key in "$class_key" "$progid_key" "$typelib_key" "$interface_key"; do
  if key_exists "$key"; then fail "$key is still there"; else pass "$key is gone"; fi
done

wine reg.exe export HKCR "$(windows_path "$work/after.reg")" /y >/dev/null 2>&1 ||
  fail "classes hive exported after unregistration"
if [ -s "$work/before.reg" ] && cmp -s "$work/before.reg" "$work/after.reg"; then
  pass "classes hive after unregistration equals the snapshot before registration"
else
  fail "classes hive after unregistration differs from the snapshot before registration"
  diff <(iconv -f UTF-16 -t UTF-8 "$work/before.reg" | tr -d '\r') \
       <(iconv -f UTF-16 -t UTF-8 "$work/after.reg" | tr -d '\r') | head -n 40
fi

# ---- the installer package, in the same prefix, now that regsvr32 /u has
# left it as it was ----
echo "== scripts/wine-msi-tests.sh $target"
if scripts/wine-msi-tests.sh "$target"; then
  pass "installer package: install, reinstall, upgrade, removal"
else
  fail "installer package (scripts/wine-msi-tests.sh $target)"
fi

summary "wine $target tests"
