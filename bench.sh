#!/usr/bin/env bash
# Builds the benchmarks of the release preset, runs them once and prints
# their table, then the ratios the module is judged by.
#   ./bench.sh                 table and ratios
#   ./bench.sh --json FILE     also keeps the raw results (Google Benchmark JSON)
# Other arguments go to the benchmark program (e.g. --benchmark_filter=ItemByKey).
set -euo pipefail
cd "$(dirname "$0")"

json=""
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --json) json="${2:?--json needs a file name}"; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done

cmake --preset release >/dev/null
cmake --build --preset release --target orvanta-bench >/dev/null

out="$json"
if [ -z "$out" ]; then
  out=$(mktemp)
  trap 'rm -f "$out"' EXIT
fi
# Five repetitions of each; medians are what the ratios use.
./build/release/orvanta-bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json ${args[@]+"${args[@]}"}

python3 - "$out" <<'PY'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"]: r["cpu_time"] for r in runs
          if r.get("aggregate_name") == "median" and r.get("time_unit") == "ns"}

def ratio(a, b):
    return median[a] / median[b] if a in median and b in median else float("nan")

rows = [
    ("GetMaximumLimit scan/keyed, miss", ratio("ScanBaseline/miss", "GetMaximumLimit/miss"), ">=", 4),
    ("GetMaximumLimit scan/keyed, row 81", ratio("ScanBaseline/row81", "GetMaximumLimit/row81"), ">=", 4),
    ("GetMaximumLimit scan/keyed, row 1", ratio("ScanBaseline/row1", "GetMaximumLimit/row1"), None, None),
    ("GetMaximumLimit keyed/floor, miss", ratio("GetMaximumLimit/miss", "CopyFloor"), "<=", 2),
    ("GetMaximumLimit keyed/floor, row 81", ratio("GetMaximumLimit/row81", "CopyFloor"), "<=", 2),
    ("GetMaximumLimit keyed/floor, row 1", ratio("GetMaximumLimit/row1", "CopyFloor"), "<=", 2),
    ("DefaultComponents/floor", ratio("DefaultComponents", "CatalogueStringsFloor"), "<=", 2),
    ("Item by key 100,000/96", ratio("ItemByKey/100000", "ItemByKey/96"), "<=", 2),
    ("Item by key 10,000/96", ratio("ItemByKey/10000", "ItemByKey/96"), None, None),
    ("Invoke/direct GetMaximumLimit", ratio("InvokeGetMaximumLimit", "GetMaximumLimit/row81"), None, None),
]
print()
print("%-38s %8s  %s" % ("ratio (medians of CPU time)", "value", "goal"))
missed = 0
for name, value, op, goal in rows:
    if op is None:
        verdict = ""
    else:
        ok = value >= goal if op == ">=" else value <= goal
        missed += not ok
        verdict = "%s %g  %s" % (op, goal, "met" if ok else "MISSED")
    print("%-38s %8.2f  %s" % (name, value, verdict))
print("\nall goals met" if not missed else "\n%d goal(s) missed" % missed)
PY
