#!/usr/bin/env bash
# Sets everything up, builds, writes the demo movie with our own encoder and plays it: in a
# window with sound on a desktop, or on SDL's invisible drivers where there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

bin=build/release
movie=$bin/demo.qz
"$bin/tools/qztool" demo "$movie"
"$bin/tools/qztool" info "$movie"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Playing $movie in a window (Escape quits, Shift pauses, Space restarts)."
    "$bin/frontend/playqz" -window -verbose "$movie"
else
    echo "No display found: playing $movie on SDL's offscreen video and dummy sound drivers."
    SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$bin/frontend/playqz" -verbose "$movie"
fi
