#!/usr/bin/env bash
# Installs what is missing, builds, installs into build/stage and starts the program from its
# bin/ folder (where it finds ../share/vantormp3/ and ../share/doc/vantormp3/), handing it the
# arguments given, for example a queue file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/stage.sh"

# The program runs in its own folder: a queue file named relative to here is made absolute.
arguments=()
for argument in "$@"; do
  if [ -e "$argument" ]; then arguments+=("$(realpath "$argument")"); else arguments+=("$argument"); fi
done
cd "$root/build/stage/bin"
exec ./vantormp3 ${arguments[@]+"${arguments[@]}"}
