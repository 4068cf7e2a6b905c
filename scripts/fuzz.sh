#!/usr/bin/env bash
# Builds the queue-file import fuzzer with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, then runs it for a bounded time on the seed
# queue files in fuzz/seeds. Fails on a crash, a leak, undefined behaviour or a hang.
#   FUZZ_SECONDS  how long to fuzz (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build="$root/build-fuzz"

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja \
  -DVANTOR_BUILD_FUZZERS=ON -DVANTOR_SANITIZE=address -DVANTOR_BUILD_GUI=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target import_fuzzer

# New inputs go to a corpus of the build folder; the seeds in the tree stay as they are.
corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
cd "$build"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
ASAN_OPTIONS=detect_leaks=1 \
  "$build/fuzz/import_fuzzer" "$corpus" "$root/fuzz/seeds" \
    -dict="$root/fuzz/import.dict" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1
