#!/usr/bin/env bash
# Installs what is missing, builds, and installs the program into a staging prefix inside the
# build tree (build/stage): bin/vantormp3 beside share/vantormp3/ and share/doc/vantormp3/, as
# an installation under /usr/local would be.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" >&2
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target vantormp3 >&2
cmake --install "$root/build" --prefix "$root/build/stage" >/dev/null
