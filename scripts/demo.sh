#!/usr/bin/env bash
# Tries the program without a store: starts the tests' stand-in for the store's web service on
# 127.0.0.1 with a small generated album, and starts the program with a queue file for it. The
# program runs with a home folder of its own (build/demo-home), whose Settings.xml sends every
# request through the stand-in, so nothing leaves this machine and your own settings stay as
# they are. The album arrives in "build/demo-home/Vantor MP3/". Each demo starts from a fresh
# home: the album of an earlier one would be there already, and arrive again beside it as
# "01 - Demo Song 1(1).mp3".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/stage.sh"

demo="$root/build/demo"
home="$root/build/demo-home"
# A demo still running holds the lock in its home: the new one would start beside it.
if [ -e "$home/.vantormp3/lock" ] && ! flock -n "$home/.vantormp3/lock" true; then
  echo "A demo is still running: close its window first." >&2
  exit 1
fi
rm -rf "$demo" "$home"
mkdir -p "$demo/store/album" "$home/.vantormp3"

# Three tracks of noise and a colourful square as the cover.
for n in 1 2 3; do head -c $((1500000 + n * 100000)) /dev/urandom >"$demo/store/album/$n.mp3"; done
/usr/bin/convert -size 300x300 gradient:'#ff8c00-#5a1e8c' -swirl 120 "$demo/store/album/cover.png"

python3 "$root/tests/tools/store_server.py" "$demo/store" "$demo/port" "$demo/requests.log" \
  >"$demo/store.log" 2>&1 &
store=$!
trap 'kill $store 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$demo/port" ] && break; sleep 0.1; done
port=$(cat "$demo/port")

cat >"$home/.vantormp3/Settings.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<preferences>
  <setting type="1" key="FirstRunCompleted">1</setting>
  <setting type="1" key="ProxyServerEnabled">1</setting>
  <setting type="1" key="ProxyServerType">0</setting>
  <setting type="1" key="ProxyServerPort">$port</setting>
  <setting type="2" key="ProxyServerAddress">127.0.0.1</setting>
</preferences>
XML

# The store's host name is only ever asked of the stand-in, as a proxy.
store_url="http://store.vantormp3.example"
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<playlist version="1" xmlns="http://xspf.org/ns/0/"><trackList>'
  for n in 1 2 3; do
    echo "<track><location>$store_url/slow/album/$n.mp3</location><title>Demo Song $n</title>"
    echo "<creator>The Demo Band</creator><albumPrimaryArtist>The Demo Band</albumPrimaryArtist><album>Demo Album</album><trackNum>$n</trackNum>"
    echo "<image>$store_url/album/cover.png</image><trackType>mp3</trackType></track>"
  done
  echo '</trackList></playlist>'
} >"$demo/Demo Album.vlx"

echo "The album arrives in: $home/Vantor MP3/The Demo Band/Demo Album/"
cd "$root/build/stage/bin"
HOME="$home" ./vantormp3 "$demo/Demo Album.vlx"
