#!/usr/bin/env bash
# Installs what the build needs, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; then builds with
# ThreadSanitizer and runs the tests of threaded code again; between the two,
# a short fuzzing run of the MPEG-1 readers, the ISO name rules and the audio
# parsers. The independent checkers are required here
# (VEXA_REQUIRE_CHECKERS=1): a test that needs one fails instead of skipping.
# Each stage's time is printed as it ends, and all of them at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# The processors this run may use (nproc follows the affinity mask, so
# `taskset -c 0,1 bash scripts/test.sh` builds and tests on two).
jobs="$(nproc)"
stages=()
started=$SECONDS
stage_start=$SECONDS
stage() {
  local took=$((SECONDS - stage_start))
  stages+=("$(printf '%-34s %4d:%02d' "$1" $((took / 60)) $((took % 60)))")
  printf '== stage "%s" took %d:%02d\n' "$1" $((took / 60)) $((took % 60))
  stage_start=$SECONDS
}
summary() {
  local status=$?
  printf '\n== stage times (%s processors)\n' "$jobs"
  printf '   %s\n' "${stages[@]}"
  local all=$((SECONDS - started))
  printf '   %-34s %4d:%02d\n' "in all" $((all / 60)) $((all % 60))
  return $status
}
trap summary EXIT

bash scripts/install-packages.sh
stage "install packages"

export VEXA_REQUIRE_CHECKERS=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_SANITIZE=ON
cmake --build build-asan -j "$jobs"
stage "build (ASan+UBSan)"
# Every header and CMake package the build read, and every program the tests
# and scripts run, comes from a package the install list installs.
python3 scripts/check-packages.py build-asan
stage "package check"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
stage "tests (ASan+UBSan)"

# A short fuzzing run of the MPEG-1 stream reader and decoder (clang's libFuzzer).
bash scripts/fuzz-vidlathe.sh 30
bash scripts/fuzz-isofs.sh 30
# A short fuzzing run of the audio plug-in's WAV and MP3 parsers.
bash scripts/fuzz-discpakb.sh 15
stage "fuzzing"

# The ThreadSanitizer build makes only the tests labelled "threaded" (and what
# they depend on, including the modules and programs they start).
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_TSAN=ON
mapfile -t tsan_targets < <(ctest --test-dir build-tsan -N -L threaded --show-only=json-v1 |
  python3 -c 'import json,sys,os; print("\n".join(sorted({t["name"] for t in json.load(sys.stdin)["tests"]})))')
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
stage "build (TSan, threaded tests)"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threaded
stage "tests (TSan)"
