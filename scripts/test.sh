#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build, then the
# non-GUI tests under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded
# tests (the desktop program's too) under ThreadSanitizer; between them the queue-file
# import fuzzer runs for a bounded time (FUZZ_SECONDS, default 60).
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

echo "== plain build"
build build
ctest --test-dir build -j"$jobs" --output-on-failure --no-tests=error

if [ "${VANTOR_SKIP_SANITIZERS:-0}" = "1" ]; then
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
