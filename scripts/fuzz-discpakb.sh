#!/usr/bin/env bash
# Builds the libFuzzer targets of the audio plug-in's parsers (the WAV head
# and chunk walker with the WAV reader, and the MP3 frame walk with the MP3
# reader) with clang and runs each for a short time (seconds: first
# argument, default 60) from the committed seed corpus. Crashes are left in
# build-fuzz/fuzz/ as crash-*.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVEXA_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target discpakb_wav_fuzzer discpakb_mp3_fuzzer
for target in wav mp3; do
  work="$(mktemp -d)"
  cp plugins/fuzz/corpus/$target/* "$work/"
  (cd build-fuzz/fuzz &&
    ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      ./discpakb_${target}_fuzzer -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work")
  rm -rf "$work"
done
