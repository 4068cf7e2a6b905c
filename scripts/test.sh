#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build (instrumented for
# coverage), then the non-GUI tests under AddressSanitizer + UndefinedBehaviorSanitizer, then
# the threaded tests (the desktop program's too) under ThreadSanitizer; between them the
# queue-file import fuzzer runs for a bounded time (FUZZ_SECONDS, default 60). Ends with the
# balance of tests and code and the coverage the plain run measured.
# VANTOR_SKIP_SANITIZERS=1 runs only the plain build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

jobs=$(nproc)
supp="$root/tests/sanitizers"

build() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs"
}

# The plain run is a coverage build of its own (unoptimised, instrumented), so its run of
# every test also measures how much of the code they reach.
echo "== plain build, with coverage"
# Test processes run at the same time and update the same counters: atomic updates keep them
# exact (without, gcovr warns of branches "taken -1").
cov="--coverage -fprofile-update=atomic"
build build-cov -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS=$cov" "-DCMAKE_C_FLAGS=$cov" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
find build-cov -name '*.gcda' -delete
ctest --test-dir build-cov -j"$jobs" --output-on-failure --no-tests=error

summary() {
  echo "== tests against code"
  bash "$root/scripts/test-ratio.sh"
  echo "== line and branch coverage of core/ and downloader/"
  # Run from a scratch folder: gcovr leaves gcov's working files in the current one. Its
  # report goes there too: gcovr replaces the file it writes, so it must never be /dev/null.
  (cd "$(mktemp -d)" && gcovr -r "$root" --object-directory "$root/build-cov" -f "$root/core/" \
    -f "$root/downloader/" --exclude-directories ".*/CMakeFiles/[0-9.]+" --gcov-ignore-parse-errors \
    -j "$jobs" --print-summary -o coverage.txt)
}

if [ "${VANTOR_SKIP_SANITIZERS:-0}" = "1" ]; then
  summary
  exit 0
fi

echo "== import fuzzer (${FUZZ_SECONDS:-60} s)"
# The fuzzer's progress lines are long; only its summary is shown, or its whole report
# (and the input that caused it) when it finds something.
fuzz_log="$root/build-fuzz.log"
if ! bash scripts/fuzz.sh >"$fuzz_log" 2>&1; then
  grep -v -E '^#[0-9]+' "$fuzz_log"
  exit 1
fi
tail -n 8 "$fuzz_log"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DVANTOR_SANITIZE=address -DVANTOR_BUILD_GUI=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS="suppressions=$supp/lsan.supp" \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure -L sanitizer -LE gui --no-tests=error

echo "== ThreadSanitizer"
# With the desktop program: its main-thread call queue is threaded code too.
build build-tsan -DVANTOR_SANITIZE=thread -DVANTOR_BUILD_GUI=ON
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp" \
  ctest --test-dir build-tsan -j"$jobs" --output-on-failure -L threaded --no-tests=error

summary
