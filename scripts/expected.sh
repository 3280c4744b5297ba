# Sourced by the scripts: what the checks expect, read from the one place the
# tests keep it (the #define lines of tests/common/expected_identity.h and
# tests/common/expected_registry.h).
#   expected EXPECTED_MAKER   ->  TivOrvanta Components
expected() {
  local value
  value=$(sed -n "s/^#define $1 \"\\(.*\\)\"\$/\\1/p" tests/common/expected_identity.h \
    tests/common/expected_registry.h)
  [ -n "$value" ] || { echo "expected: no $1 in tests/common" >&2; return 1; }
  printf '%s\n' "$value"
}
