#!/bin/sh
# PNG export speed of `qztool frames` on one core (one writer, the process held to core 0 with
# taskset) and on every core (one writer a core), on the demo movie our own encoder writes, and
# whether both write the same files.
#
#   bench/png_export.sh QZTOOL [ROUNDS]
#
# Each setting runs ROUNDS times (default 3) into a fresh temporary folder; the best wall-clock
# time of each gives frames a second, and the last line the speed-up of all cores over one.
set -eu

qztool=$1
rounds=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$qztool" demo "$work/demo.qz" >/dev/null
cores=$(nproc)

# Prints the best seconds of $rounds exports with --threads $1 into $work/$1,
# run through $2 (taskset -c 0 for one core).
best_seconds() {
    best=
    i=0
    while [ "$i" -lt "$rounds" ]; do
        rm -rf "$work/$1"
        mkdir "$work/$1"
        start=$(date +%s.%N)
        $2 "$qztool" frames "$work/demo.qz" --png "$work/$1/f%04d.png" --threads "$1" >/dev/null
        end=$(date +%s.%N)
        best=$(echo "$start $end ${best:-}" | awk '{ t = $2 - $1; if ($3 != "" && $3 < t) t = $3; print t }')
        i=$((i + 1))
    done
    echo "$best"
}

frames=$("$qztool" frames "$work/demo.qz" --raw /dev/null | awk '{ print $2 }')
one=$(best_seconds 1 "taskset -c 0")
all=$(best_seconds "$cores" "")
cmp_out=same
diff -r "$work/1" "$work/$cores" >/dev/null || cmp_out=DIFFERENT
awk -v f="$frames" -v a="$one" -v b="$all" -v c="$cores" -v same="$cmp_out" 'BEGIN {
    printf "%d frames of 320x240, best of the rounds\n", f
    printf "1 core:     %.3f s, %.1f frames/s\n", a, f / a
    printf "%d cores:    %.3f s, %.1f frames/s\n", c, b, f / b
    printf "speed-up %.2fx; files %s\n", a / b, same
}'
