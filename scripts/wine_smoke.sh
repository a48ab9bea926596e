#!/usr/bin/env bash
# Smoke test of the Windows build under Wine: builds playqz.exe and the cross-built unit tests
# (windows preset), runs the unit tests under Wine, then playqz.exe on a private X server with
# a null PulseAudio sink for DirectSound (the PlayqzExeOnWine tests of the native test_frontend,
# which compare against the native playqz and qztool of the given build).
# Usage: scripts/wine_smoke.sh [native-preset]   (default: release, which must be configured)
# Skips, with a message and exit code 0, when Wine or the cross compiler is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
native=${1:-release}

for tool in wine wineboot wineserver x86_64-w64-mingw32-g++-posix pulseaudio Xvfb xdotool xwd \
    convert; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "wine smoke test skipped: $tool is not installed (scripts/setup.sh installs it)"
        exit 0
    fi
done

jobs=$(nproc)
echo "--- windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
echo "--- native $native build of playqz, qztool and test_frontend"
cmake --build "build/$native" -j "$jobs" --target playqz qztool test_frontend

# Everything Wine and PulseAudio write goes to a scratch folder, removed at the end.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qz-wine.XXXXXX")
pulse_pid=""
tests_group=""
cleanup() {
    set +e
    # Whatever the tests left behind, should they have been stopped half-way (Xvfb, wine).
    if [ -n "$tests_group" ]; then kill -KILL -- "-$tests_group" 2>/dev/null; fi
    if [ -d "$scratch/prefix" ]; then wineserver -k 2>/dev/null; fi
    if [ -n "$pulse_pid" ]; then
        kill "$pulse_pid" 2>/dev/null
        wait "$pulse_pid" 2>/dev/null
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export HOME="$scratch/home"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY PULSE_SERVER

echo "--- wine prefix"
timeout 300 wineboot --init >"$scratch/wineboot.log" 2>&1 || {
    cat "$scratch/wineboot.log"
    echo "wineboot failed"
    exit 1
}
wineserver -w

echo "--- PulseAudio null sink"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=nullsink" \
    --load="module-native-protocol-unix" >"$scratch/pulseaudio.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 1 150); do
    [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break
    sleep 0.2
done
if [ ! -S "$XDG_RUNTIME_DIR/pulse/native" ]; then
    cat "$scratch/pulseaudio.log"
    echo "PulseAudio did not start"
    exit 1
fi

failed=0
echo "--- cross-built unit tests under wine"
for exe in build/windows/tests/test_*.exe; do
    name=$(basename "$exe")
    log="$scratch/$name.log"
    timeout 600 wine "$exe" >"$log" 2>&1 || true
    # Judged by the report, not by the exit code alone.
    if grep -q '^\[  PASSED  \]' "$log" && ! grep -q '^\[  FAILED  \]' "$log"; then
        echo "$name: $(grep '^\[  PASSED  \]' "$log" | tr -d '\r')"
    else
        cat "$log"
        echo "$name: FAILED"
        failed=1
    fi
done

echo "--- playqz.exe under wine"
mkdir -p "$scratch/tmp"
# The tests run in a process group of their own, so that whatever they start can be ended
# together.
QZ_WINE_PLAYQZ_EXE="$root/build/windows/frontend/playqz.exe" QZ_TEST_TMP="$scratch/tmp" \
    setsid "build/$native/tests/test_frontend" --gtest_filter='PlayqzExeOnWine.*' \
    >"$scratch/smoke.log" 2>&1 &
tests_group=$!
status=0
wait "$tests_group" || status=$?
cat "$scratch/smoke.log"
if [ "$status" -ne 0 ] || grep -q '^\[  SKIPPED \]' "$scratch/smoke.log" ||
    ! grep -q '^\[  PASSED  \] 4 tests' "$scratch/smoke.log"; then
    echo "wine smoke test FAILED"
    failed=1
fi
exit "$failed"
