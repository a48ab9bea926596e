#!/usr/bin/env bash
# Screenshots of the player's window with its title bar, drawn by a small window manager on a
# private Xvfb screen: the time while playing, the volume after a volume key, "muted" and
# "paused". Usage: scripts/title_shots.sh [OUT_FOLDER] (default build/title-shots).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/title-shots}"
playqz="$root/build/release/frontend/playqz"
qztool="$root/build/release/tools/qztool"
for tool in Xvfb twm xdotool import "$playqz" "$qztool"; do
    command -v "$tool" >/dev/null || { echo "title_shots: $tool is missing" >&2; exit 1; }
done
mkdir -p "$out"

number=90
while [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
export DISPLAY=":$number"
Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
twm >/dev/null 2>&1 &
sleep 0.5

movie="$out/demo.qz"
"$qztool" demo "$movie" >/dev/null
SDL_AUDIODRIVER=dummy "$playqz" -window "$movie" >/dev/null 2>&1 &
player=$!
window=""
for _ in $(seq 100); do
    window=$(xdotool search --name "^demo" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "title_shots: no player window" >&2; exit 1; }
xdotool windowfocus --sync "$window" >/dev/null 2>&1 || true

shot() { sleep 0.4; import -window root "$out/$1.png"; echo "$out/$1.png: $(xdotool getwindowname "$window")"; }
sleep 2
shot playing
xdotool key 9 9
shot volume
xdotool key m
shot muted
xdotool key shift
shot paused
xdotool key q
wait "$player" || true
kill "$server" 2>/dev/null || true
