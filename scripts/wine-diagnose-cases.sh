# Sourced by scripts/wine-tests.sh, in its prefix, with the module
# registered: `orvanta-probe.exe --diagnose` on machine states made on
# purpose, each giving its verdict and the command that mends it. Every state
# is undone before the next, so the module is registered as before at the
# end, and the suite's classes-hive comparison after unregistration shows
# that nothing else was left. ORVANTA_DIAGNOSE_OUT, when set, is a folder
# that keeps each state's report.

host_typelib_key='HKCR\TypeLib\{A966A13A-FD2F-11D2-BF83-00C04F794409}'

# diagnose_state NAME STATUS LINE...: the probe's --diagnose exits STATUS and
# prints every LINE exactly.
diagnose_state() {
  local name=$1 want=$2 line missing="" rc
  shift 2
  wine "${diagnose_probe:-$probe_exe}" --diagnose >"$work/diagnose.raw" 2>&1
  rc=$?
  unix_lines "$work/diagnose.raw" >"$work/diagnose.out"
  [ -z "${ORVANTA_DIAGNOSE_OUT:-}" ] || cp "$work/diagnose.out" "$ORVANTA_DIAGNOSE_OUT/$target-${name// /-}.txt"
  for line in "$@"; do grep -qxF -- "$line" "$work/diagnose.out" || missing=$line; done
  if [ "$rc" -eq "$want" ] && [ -z "$missing" ]; then
    pass "--diagnose, $name: exit $rc, $(tail -n 1 "$work/diagnose.out")"
  else
    fail "--diagnose, $name: exit $rc (expected $want)${missing:+; missing line: $missing}"
    cat "$work/diagnose.out"
  fi
}

reg_set() { wine reg.exe add "$1" /ve /d "$2" /f "${@:3}" >/dev/null 2>&1 || fail "reg add $1"; }
register_again() { wine regsvr32.exe /s "$dll_windows" >/dev/null 2>&1 || fail "regsvr32 /s $dll"; }

diagnose_cases() {
  local started bits=64 other=x86
  started=$(date +%s)
  [ "$target" = x64 ] || { bits=32; other=x64; }
  local syskind=win$bits regsvr32='C:\windows\System32\regsvr32.exe'
  local fix="      fix: $regsvr32 \"$dll_windows\"" tlb swapped other_dll="" left
  tlb=$(windows_path "$build/TivDefn.tlb")
  swapped=$(windows_path "$build/TivDefnSwapped.tlb")

  wine regsvr32.exe /u /s "$dll_windows" >/dev/null 2>&1
  diagnose_state "not registered" 1 "FAIL  class key: $class_key is absent for $bits-bit hosts" "$fix"
  register_again
  diagnose_state "sound, without TivDefn" 0 \
    "WARN  host library TivDefn: TivDefn 34.2 is not registered: the host installs it; late binding answers from the module's own table" \
    "all checks passed (10 checks, 0 failed, 1 warning)"

  reg_set "$host_typelib_key\\22.2\\0\\$syskind" "$tlb"
  diagnose_state "sound, with TivDefn" 0 \
    "PASS  host library TivDefn: $tlb, its IServer laid out as the module implements it" \
    "all checks passed (10 checks, 0 failed, 0 warnings)"
  reg_set "$host_typelib_key\\22.2\\0\\$syskind" "$swapped"
  diagnose_state "TivDefn laid out otherwise" 1 \
    "FAIL  host library TivDefn: $swapped: its IServer is not laid out as the module implements it" \
    "      fix: reinstall the host application that provides $swapped"
  wine reg.exe delete "$host_typelib_key" /f >/dev/null 2>&1 || fail "reg delete $host_typelib_key"

  reg_set "$class_key\\InprocServer32" 'C:\gone\TivOrvantaZNA100.dll'
  diagnose_state "server file missing" 1 \
    "FAIL  server file: C:\\gone\\TivOrvantaZNA100.dll does not exist; the module is now at $dll_windows" "$fix"
  register_again

  if [ -f "build/windows-$other/TivOrvantaZNA100.dll" ]; then
    other_dll=$(windows_path "build/windows-$other/TivOrvantaZNA100.dll")
    local other_bits=$((96 - bits))
    reg_set "$class_key\\InprocServer32" "$other_dll"
    diagnose_state "$other_bits-bit module in $bits-bit keys" 1 \
      "FAIL  server file: $other_dll is a $other_bits-bit module, which $bits-bit hosts cannot load" \
      "$fix"
    register_again
  else
    echo "(no build/windows-$other: the other bitness's module is not tried)"
  fi

  if [ "$target" = x64 ]; then
    wine regsvr32.exe /u /s "$dll_windows" >/dev/null 2>&1
    reg_set "$class_key\\InprocServer32" "$dll_windows" /reg:32
    diagnose_state "keys in the 32-bit view only" 1 \
      "FAIL  other registry view: registered for 32-bit hosts only, at $dll_windows" "$fix"
    wine reg.exe delete "$class_key" /f /reg:32 >/dev/null 2>&1 || fail "reg delete $class_key /reg:32"
    register_again
    if [ -n "$other_dll" ]; then
      reg_set "$class_key\\InprocServer32" "$other_dll" /reg:32
      diagnose_state "both views, different paths" 0 \
        "WARN  other registry view: also registered for 32-bit hosts, at $other_dll; the type library and program identifier keys are shared by both views"
      wine reg.exe delete "$class_key" /f /reg:32 >/dev/null 2>&1 || fail "reg delete $class_key /reg:32"
    fi
  fi

  reg_set "$typelib_key\\1.0\\0\\$syskind" 'C:\old\TivOrvantaZNA100.dll'
  diagnose_state "type library at a stale path" 1 \
    "FAIL  type library: registered at C:\\old\\TivOrvantaZNA100.dll, which does not exist" "$fix"
  register_again

  mkdir -p "$work/left"
  cp "$dll" "$probe_exe" "$work/left/"
  left=$(windows_path "$work/left/TivOrvantaZNA100.dll")
  wine regsvr32.exe /s "$left" >/dev/null 2>&1 || fail "regsvr32 /s $left"
  rm -f "$work/left/TivOrvantaZNA100.dll"
  diagnose_probe=$work/left/orvanta-probe.exe diagnose_state "keys left after the file was removed" 1 \
    "FAIL  server file: $left does not exist; the keys were left behind after the file was removed" \
    "      fix: msiexec /fa TivOrvantaZNA100-$(expected EXPECTED_FILE_VERSION)-$target.msi"
  register_again
  echo "== --diagnose states took $(( $(date +%s) - started )) s"
}
