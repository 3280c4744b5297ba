#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Exit status 0 only when all pass.
set -euo pipefail
cd "$(dirname "$0")"
started=$(date +%s)
# Each stage says when it starts, so the log gives every stage's time.
stage() { echo "== $1 (at $(( $(date +%s) - started )) s)"; }

scripts/install-deps.sh

stage "format: every C and C++ file as .clang-format has it"
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

stage "native: build and test"
cmake --preset native
cmake --build --preset native
ctest --preset native

stage "release: the native module carries nothing of the tests"
source scripts/expected.sh
cmake --preset release
cmake --build --preset release --target TivOrvantaZNA100
if nm -C build/release/libTivOrvantaZNA100.so | grep -E "$test_only_symbols"; then
  echo "test-only code in the release module"
  exit 1
fi

stage "native: probe"
./build/native/orvanta-probe --json > build/native/probe.json
grep -c '"position"' build/native/probe.json | grep -qx 96

stage "asan: the native suite with address, leak and undefined-behaviour checks"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

stage "tsan: the thread tests"
cmake --preset tsan
cmake --build --preset tsan --target orvanta-tests
ctest --preset tsan -R Thread

stage "valgrind: the native test program (thread stress scaled down)"
ORVANTA_THREAD_CALLS=2000 valgrind --quiet --leak-check=full --error-exitcode=1 \
  --errors-for-leak-kinds=definite,indirect build/native/orvanta-tests --gtest_brief=1

stage "fuzz: each target for a bounded number of runs over its corpus"
cmake --preset fuzz
cmake --build --preset fuzz --target fuzzers
for target in fuzz_server_strings:600000 fuzz_collection:200000 fuzz_late_binding:500000; do
  name=${target%%:*}
  scratch=build/fuzz/run/$name
  rm -rf "$scratch" && mkdir -p "$scratch" build/fuzz/crashes/$name
  # New inputs go to the scratch folder, never into the committed corpus.
  if ! ./build/fuzz/$name -runs=${target##*:} -max_total_time=20 -seed=1 -print_final_stats=1 \
      -artifact_prefix=build/fuzz/crashes/$name/ "$scratch" fuzz/corpus/$name > "$scratch.log" 2>&1; then
    tail -40 "$scratch.log"
    echo "$name failed; its input is in build/fuzz/crashes/$name/"
    exit 1
  fi
  echo "$name: $(grep -oE 'number_of_executed_units: [0-9]+' "$scratch.log" | grep -oE '[0-9]+') runs"
done

stage "windows: both modules (x86 and x64), their packages, static checks and zips"
for arch in x86 x64; do
  cmake --preset windows-$arch
  cmake --build --preset windows-$arch
done
scripts/check-dll-static.sh build/windows-x86/TivOrvantaZNA100.dll win32
scripts/check-dll-static.sh build/windows-x64/TivOrvantaZNA100.dll win64
for arch in x86 x64; do
  scripts/check-link-map.sh build/windows-$arch/TivOrvantaZNA100.map
done
# The check must refuse a module of the other target.
if scripts/check-dll-static.sh build/windows-x64/TivOrvantaZNA100.dll win32 >/dev/null 2>&1; then
  echo "check-dll-static.sh accepted the 64-bit module as a 32-bit one"
  exit 1
fi
package=TivOrvantaZNA100-$(expected EXPECTED_FILE_VERSION)
scripts/check-msi-static.sh build/windows-x86/$package-x86.msi build/windows-x86/TivOrvantaZNA100.dll win32
scripts/check-msi-static.sh build/windows-x64/$package-x64.msi build/windows-x64/TivOrvantaZNA100.dll win64
if scripts/check-msi-static.sh build/windows-x64/$package-x64.msi \
                               build/windows-x64/TivOrvantaZNA100.dll win32 >/dev/null 2>&1; then
  echo "check-msi-static.sh accepted the 64-bit package as a 32-bit one"
  exit 1
fi
# ... nor a module whose header lacks NX_COMPAT (the bit cleared in a copy).
mkdir -p build/windows-x64/without-nx
cp build/windows-x64/TivOrvantaZNA100.dll build/windows-x64/without-nx/
characteristics=$(( $(od -An -tu4 -j60 -N4 build/windows-x64/TivOrvantaZNA100.dll) + 24 + 70 + 1 ))
printf "\\x$(printf %02x $(( $(od -An -tu1 -j$characteristics -N1 build/windows-x64/TivOrvantaZNA100.dll) & 0xFE )))" |
  dd of=build/windows-x64/without-nx/TivOrvantaZNA100.dll bs=1 seek=$characteristics conv=notrunc status=none
if ORVANTA_HOST_TOOLS=build/windows-x64/host-tools \
   scripts/check-dll-static.sh build/windows-x64/without-nx/TivOrvantaZNA100.dll win64 >/dev/null 2>&1; then
  echo "check-dll-static.sh accepted a module without NX_COMPAT"
  exit 1
fi
for arch in x86 x64; do
  cpack --config build/windows-$arch/CPackConfig.cmake
done

stage "windows: both presets built again in another folder, every artefact compared byte for byte"
scripts/check-release.sh reproducible

stage "windows: signed with a throwaway certificate, signatures verified"
scripts/check-release.sh signed

stage "windows: the 64-bit module under 64-bit Wine (registration, client tests, script client, probe)"
scripts/wine-tests.sh x64

stage "windows: the signed 64-bit package under 64-bit Wine"
(source scripts/wine-env.sh && trap wine_stop EXIT && wine_start x64 &&
   scripts/wine-msi-tests.sh x64 build/rebuild/windows-x64)

stage "windows: the 32-bit module under 32-bit Wine (the same steps)"
scripts/wine-tests.sh x86

echo "== all passed in $(( $(date +%s) - started )) s"
# format, native, release module, probe, asan, tsan, valgrind, fuzz, windows builds and static checks,
# rebuild compared, signed build, wine x64, signed package under wine, wine x86
echo "suites: 14 passed, 0 failed"
