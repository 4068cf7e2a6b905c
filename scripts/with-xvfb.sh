#!/usr/bin/env bash
# Runs a command inside a private Xvfb server. The display number comes back on a pipe
# (-displayfd), so many of these can start at once without racing for a number.
set -euo pipefail
fifo_dir=$(mktemp -d)
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$fifo_dir/display" 2>/dev/null &
xvfb_pid=$!
read -r display_number <"$fifo_dir/display"
export DISPLAY=":$display_number"
"$@"
