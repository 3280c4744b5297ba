# Sourced by the check scripts: one PASS/FAIL line per check, then
# "N passed, M failed" from `summary`, whose status is 0 only when none
# failed. `summary` also says how long the script took when given its name.
passed=0
failed=0
check_started=$(date +%s)
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; failed=$((failed + 1)); }
summary() {
  [ $# -eq 0 ] || echo "== $1 took $(( $(date +%s) - check_started )) s"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
