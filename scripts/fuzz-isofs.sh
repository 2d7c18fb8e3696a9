#!/usr/bin/env bash
# Builds the libFuzzer target of the ISO 9660 / Joliet name rules with clang
# and runs it for a short time (seconds: first argument, default 60) from the
# committed seed corpus. Crashes are left in build-fuzz/fuzz/ as crash-*.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVEXA_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target isofs_names_fuzzer
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp disclib/isofs/fuzz/corpus/* "$work/"
cd build-fuzz/fuzz
ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ./isofs_names_fuzzer -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work"
