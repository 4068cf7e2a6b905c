#!/usr/bin/env bash
# The balance of tests and code: non-blank lines of every tracked file under tests/ against
# the non-blank lines of the C++ sources and headers of core/ and downloader/. Exit status 1
# when the ratio is above RATIO_LIMIT (default 0.35).
set -euo pipefail
cd "$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
limit=${RATIO_LIMIT:-0.35}
nonblank() { xargs -r -d '\n' cat 2>/dev/null | grep -cv '^[[:space:]]*$' || true; }
tests=$(git ls-files -- tests | nonblank)
code=$(git ls-files -- core downloader | grep -E '\.(c|cc|cpp|h|hpp)$' | nonblank)
awk -v t="$tests" -v c="$code" -v l="$limit" \
  'BEGIN { r = t / c; printf "tests %d lines, code %d lines, ratio %.2f (limit %s)\n", t, c, r, l; exit !(r <= l) }'
