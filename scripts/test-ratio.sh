#!/usr/bin/env bash
# The balance of tests and code, for information: non-blank lines of every tracked file under
# tests/ against the non-blank lines of the C++ sources and headers of core/ and downloader/.
set -euo pipefail
cd "$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
nonblank() { xargs -r -d '\n' cat 2>/dev/null | grep -cv '^[[:space:]]*$' || true; }
tests=$(git ls-files -- tests | nonblank)
code=$(git ls-files -- core downloader | grep -E '\.(c|cc|cpp|h|hpp)$' | nonblank)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d lines, code %d lines, ratio %.2f\n", t, c, t / c }'
