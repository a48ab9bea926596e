#!/usr/bin/env bash
# Screenshots of the player's window with its title bar, drawn by a small window manager on a
# private Xvfb screen: the time while playing, the volume after a volume key, "muted" and
# "paused". Usage: scripts/title_shots.sh [OUT_FOLDER] (default build/title-shots).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/x_helpers.sh"
out="${1:-$root/build/title-shots}"
playqz="$root/build/release/frontend/playqz"
qztool="$root/build/release/tools/qztool"
for tool in Xvfb twm xdotool import "$playqz" "$qztool"; do
    command -v "$tool" >/dev/null || { echo "title_shots: $tool is missing" >&2; exit 1; }
done
mkdir -p "$out"

trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
start_xvfb 90
twm >/dev/null 2>&1 &
sleep 0.5

movie="$out/demo.qz"
"$qztool" demo "$movie" >/dev/null
SDL_AUDIODRIVER=dummy "$playqz" -window "$movie" >/dev/null 2>&1 &
player=$!
wait_for_window demo
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
