#!/usr/bin/env bash
# Makes the .deb from the release build, installs it with apt-get, plays the demo with the
# installed playqz, opens a movie through the desktop entry (gio open, on a private Xvfb
# screen), then removes the package and checks that nothing of it is left. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/x_helpers.sh
build="$root/build/release"

if [ "$(id -u)" -ne 0 ]; then
    echo "deb test skipped: installing a package needs root"
    exit 0
fi
if dpkg-query -W -f='${Status}' playqz 2>/dev/null | grep -q 'install ok installed'; then
    echo "deb test: playqz is installed already; remove it first (apt-get remove playqz)" >&2
    exit 1
fi

echo "--- package"
rm -f "$build"/playqz_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/playqz_*.deb)
dpkg-deb -f "$deb" Package Version Depends

scratch=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    pkill -f "^/usr/bin/playqz" 2>/dev/null || true
    if dpkg-query -W -f='${Status}' playqz 2>/dev/null | grep -q 'install ok installed'; then
        apt-get remove -y -qq playqz >/dev/null 2>&1 || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "--- apt-get install $(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; exit 1; }
files=$(dpkg -L playqz | while read -r f; do [ -f "$f" ] && echo "$f"; done)
echo "$files"
/usr/bin/playqz --version | tail -1
/usr/bin/qztool --version
man -w playqz qztool

echo "--- the installed playqz plays the demo"
start_xvfb 70
/usr/bin/qztool demo "$scratch/demo.qz"
SDL_AUDIODRIVER=dummy timeout 60 /usr/bin/playqz -window -verbose "$scratch/demo.qz" \
    >"$scratch/play.log" 2>&1
tail -1 "$scratch/play.log"
grep -Eq '^[0-9]+\.[0-9]+ seconds, 1[45][0-9] frames' "$scratch/play.log" ||
    { echo "deb test FAILED: the demo did not play to its end" >&2; exit 1; }

echo "--- the installed qztool authors a movie with sound"
# The sound libraries are loaded only when sound is read: this is where a missing dependency
# of the package would show.
/usr/bin/qztool audio "$scratch/demo.qz" -o "$scratch/demo.wav" >/dev/null
/usr/bin/qztool frames "$scratch/demo.qz" --y4m "$scratch/demo.y4m" >/dev/null
/usr/bin/qztool encode "$scratch/demo.y4m" --audio "$scratch/demo.wav" -o "$scratch/again.qz" \
    >"$scratch/encode.log" 2>&1 || { cat "$scratch/encode.log"; exit 1; }
/usr/bin/qztool info "$scratch/again.qz" | grep -i "track" | head -2

echo "--- the desktop entry opens a movie"
cp "$scratch/demo.qz" "$scratch/movie-without-ending"
for file in demo.qz movie-without-ending; do
    type=$(gio info -a standard::content-type "$scratch/$file" | sed -n 's/.*content-type: //p')
    echo "$file: $type"
    [ "$type" = "video/x-qz" ] || { echo "deb test FAILED: $file is not known as a movie" >&2; exit 1; }
done
gio mime video/x-qz >"$scratch/mime.txt"
head -1 "$scratch/mime.txt"
SDL_AUDIODRIVER=dummy gio open "$scratch/demo.qz"
wait_for_window demo
[ -n "$window" ] || { echo "deb test FAILED: no player window after gio open" >&2; exit 1; }
echo "window: $(xdotool getwindowname "$window")"
xdotool windowfocus --sync "$window" key q >/dev/null 2>&1 || true
for _ in $(seq 100); do pgrep -f "^playqz|/usr/bin/playqz" >/dev/null || break; sleep 0.1; done
if pgrep -f "^playqz|/usr/bin/playqz" >/dev/null; then
    echo "deb test FAILED: q did not end the player" >&2
    exit 1
fi

echo "--- apt-get remove playqz"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq playqz >/dev/null
left=""
for f in $files; do [ -e "$f" ] && left="$left $f"; done
[ -z "$left" ] || { echo "deb test FAILED: left behind:$left" >&2; exit 1; }
echo "removed: none of its files is left"
echo "deb test passed"
