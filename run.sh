#!/usr/bin/env bash
# Builds the native module and runs the probe, which loads it as a host does
# and prints the whole server definition. Arguments go to the probe
# (e.g. ./run.sh --json).
set -euo pipefail
cd "$(dirname "$0")"
cmake --preset native >/dev/null
cmake --build --preset native --target TivOrvantaZNA100 orvanta-probe >/dev/null
exec ./build/native/orvanta-probe "$@"
