# Sourced by the scripts: what the checks expect, read from the one place the
# tests keep it (the #define lines of tests/common/expected_identity.h and
# tests/common/expected_registry.h).
#   expected EXPECTED_MAKER   ->  TivOrvanta Components
# What only test builds have, which no shipped module may carry: the
# reference scan of the limit table, the fault hooks and the stand-in's test
# controls (an extended regular expression over symbol names).
test_only_symbols='find_limit_by_scan|fail_allocation_after|allocation_should_fail|allocations_seen|live_strings|registry_reset|fail_registry_change_after|registry_changes_seen|strings_alive'

expected() {
  local value
  value=$(sed -n "s/^#define $1 \"\\(.*\\)\"\$/\\1/p" tests/common/expected_identity.h \
    tests/common/expected_registry.h)
  [ -n "$value" ] || { echo "expected: no $1 in tests/common" >&2; return 1; }
  printf '%s\n' "$value"
}
