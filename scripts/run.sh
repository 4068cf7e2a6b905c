#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the desktop program with any
# arguments given (for example a queue file).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" -j"$(nproc)"

program="$root/build/downloader/app/vantormp3"
if [ ! -x "$program" ]; then
  echo "Everything that exists so far is built, but the desktop program is not built yet."
  exit 0
fi
cd "$root/share"
exec "$program" "$@"
