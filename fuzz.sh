#!/usr/bin/env bash
# Runs each fuzz target for longer than ./test.sh does: SECONDS each (default
# 60), over its committed corpus. Inputs that reach new code are kept in
# build/fuzz/found/<target>/ (a scratch folder, not the committed corpus);
# an input that fails a check or crashes is written to
# build/fuzz/crashes/<target>/ and the run stops with a non-zero status.
# Add such a finding to fuzz/corpus/<target>/ once it is fixed.
#   ./fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")"
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers

for name in fuzz_server_strings fuzz_collection fuzz_late_binding; do
  echo "== $name: $seconds s"
  mkdir -p build/fuzz/found/$name build/fuzz/crashes/$name
  log=build/fuzz/$name.log
  if ! ./build/fuzz/$name -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/crashes/$name/ build/fuzz/found/$name fuzz/corpus/$name > "$log" 2>&1; then
    tail -40 "$log"
    echo "$name failed; its input is in build/fuzz/crashes/$name/"
    exit 1
  fi
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$log"
  echo "   corpus: $(ls fuzz/corpus/$name | wc -l) committed, $(ls build/fuzz/found/$name | wc -l) found so far"
done
