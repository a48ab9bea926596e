#!/usr/bin/env bash
# Smoke test of the Windows build under Wine: builds playqz.exe, qztool.exe and the cross-built
# unit tests (windows preset), runs the unit tests under Wine, checks that qztool.exe writes
# byte for byte what the native qztool writes (demo movies, info, audio, frames), then runs
# playqz.exe on a private X server with a null PulseAudio sink for DirectSound (the
# PlayqzExeOnWine tests of the native test_frontend, which compare against the native playqz
# and qztool of the given build).
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

echo "--- qztool.exe under wine against the native qztool"
# Each runs in a folder of its own on the same relative names, so that what they print matches
# too; text output is compared without the carriage returns the Windows C runtime adds.
qz_native="$root/build/$native/tools/qztool"
qz_exe="$root/build/windows/tools/qztool.exe"
qz_dir="$scratch/qztool"
mkdir -p "$qz_dir/native" "$qz_dir/wine"
qz_failed=0
# Runs one qztool command both ways (arguments starting with @ name output files) and compares
# the exit codes, the standard output and every output file.
qz_compare() {
    local args=() outputs=() arg
    for arg in "$@"; do
        if [[ $arg == @* ]]; then
            args+=("${arg#@}")
            outputs+=("${arg#@}")
        else
            args+=("$arg")
        fi
    done
    local native_status=0 wine_status=0
    (cd "$qz_dir/native" && "$qz_native" "${args[@]}" >../native.out 2>../native.err) ||
        native_status=$?
    (cd "$qz_dir/wine" && timeout 120 wine "$qz_exe" "${args[@]}" >../wine.out 2>../wine.err) ||
        wine_status=$?
    tr -d '\r' <"$qz_dir/wine.out" >"$qz_dir/wine.txt"
    local problem=""
    if [ "$native_status" -ne "$wine_status" ]; then
        problem="exit code $wine_status under wine, $native_status native"
    elif ! cmp -s "$qz_dir/native.out" "$qz_dir/wine.txt"; then
        problem="standard output differs (< native, > wine):
$(diff "$qz_dir/native.out" "$qz_dir/wine.txt" | head -20 || true)"
    fi
    for arg in "${outputs[@]}"; do
        [ -n "$problem" ] && break
        if ! cmp "$qz_dir/native/$arg" "$qz_dir/wine/$arg" >"$qz_dir/cmp.log" 2>&1; then
            problem="$arg differs from the native one: $(cat "$qz_dir/cmp.log")"
        fi
    done
    if [ -n "$problem" ]; then
        echo "qztool ${args[*]}: FAILED: $problem"
        tr -d '\r' <"$qz_dir/wine.err" | sed 's/^/  wine stderr: /' | head -10 || true
        qz_failed=1
    else
        echo "qztool ${args[*]}: same as native"
    fi
}
qz_compare demo @dct.qz
qz_compare demo --krt @krt.qz
qz_compare demo --dor @dor.qz
# The movies the native qztool wrote are the inputs from here on.
for movie in dct krt dor; do cp "$qz_dir/native/$movie.qz" "$qz_dir/wine/$movie.qz"; done
for movie in dct krt dor; do
    qz_compare info "$movie.qz"
    qz_compare audio "$movie.qz" -o "@$movie.wav"
done
qz_compare frames dct.qz --pixel-format xrgb8888 --raw @dct.raw
qz_compare frames dct.qz --pixel-format yuy2 --allow-black --gamma 130 --y4m @dct.y4m
qz_compare frames krt.qz --pixel-format pal8 --raw @krt.raw
qz_compare frames krt.qz --pixel-format rgb555 --y4m @krt.y4m
qz_compare frames dor.qz --pixel-format rgb565 --gamma 130 --raw @dor.raw
qz_compare frames dor.qz --pixel-format xrgb8888 --y4m @dor.y4m
if [ "$qz_failed" -ne 0 ]; then
    echo "qztool.exe: FAILED (output differs from the native qztool's)"
    failed=1
fi

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
    grep -q '^\[  FAILED  \]' "$scratch/smoke.log" ||
    ! grep -q '^\[  PASSED  \] [0-9]* tests' "$scratch/smoke.log"; then
    echo "wine smoke test FAILED"
    failed=1
fi
exit "$failed"
