#!/bin/sh
# The largest resident size of each qztool command on a long movie, to show that qztool reads a
# movie piece by piece instead of whole.
#
#   bench/qztool_memory.sh QZTOOL [MEGABYTES] [WORKDIR]
#
# WORKDIR keeps the movies made (default: a temporary folder, removed at the end).
# Builds a movie of about MEGABYTES (default 200) from the demo movie our own encoder writes
# (`qztool demo`): its stream header, then its chunks between the header and the end-of-data
# chunk over and over, then the end-of-data chunk. Then runs info (plain, --chunks, --json),
# audio (WAV and raw) and frames (raw and Y4M; Y4M and PNG with 64 threads too) on it under
# /usr/bin/time -v, the outputs going to /dev/null, and prints each command's maximum resident
# size. PNG export is measured on a tenth of the movie: one file a frame makes the whole movie
# tens of thousands of files.
set -eu

qztool=$1
megabytes=${2:-200}
if [ $# -ge 3 ]; then
    work=$3
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

# Makes $work/NAME.qz of about $2 megabytes from the demo movie.
make_movie() {
    demo=$work/demo.qz
    "$qztool" demo "$demo" >/dev/null
    # The second chunk's offset ends the stream header; the end-of-data chunk ends the body.
    head_bytes=$("$qztool" info --chunks "$demo" | awk '$1 ~ /^[0-9]+$/ { n++; if (n == 2) { print $1; exit } }')
    end=$("$qztool" info "$demo" | sed -n 's/^end of data at offset \([0-9]*\).*/\1/p')
    size=$(wc -c <"$demo")
    body=$((end - head_bytes))
    copies=$(($2 * 1024 * 1024 / body + 1))
    out=$work/$1.qz
    head -c "$head_bytes" "$demo" >"$out"
    tail -c +"$((head_bytes + 1))" "$demo" | head -c "$body" >"$work/body"
    i=0
    while [ $i -lt $copies ]; do
        cat "$work/body"
        i=$((i + 1))
    done >>"$out"
    tail -c "$((size - end))" "$demo" >>"$out"
    rm -f "$work/body"
}

# Prints the command's maximum resident size in MB, or its failure.
measure() {
    label=$1
    shift
    if /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt"; then
        kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
        awk -v label="$label" -v kb="$kb" 'BEGIN { printf "%-28s %8.1f MB\n", label, kb / 1024 }'
    else
        printf '%-28s failed: %s\n' "$label" "$(head -n 1 "$work/err.txt")"
    fi
}

make_movie long "$megabytes"
make_movie short "$((megabytes / 10))"
long=$work/long.qz
short=$work/short.qz
echo "movie: $(wc -c <"$long") bytes; PNG export on $(wc -c <"$short") bytes"
measure "info" "$qztool" info "$long"
measure "info --chunks" "$qztool" info --chunks "$long"
measure "info --json --chunks" "$qztool" info --json --chunks "$long"
measure "audio -o WAV" "$qztool" audio "$long" -o /dev/null
measure "audio --raw" "$qztool" audio "$long" --raw /dev/null
measure "frames --raw xrgb8888" "$qztool" frames "$long" --pixel-format xrgb8888 --raw /dev/null
measure "frames --y4m rgb565" "$qztool" frames "$long" --pixel-format rgb565 --y4m /dev/null
measure "frames --y4m, 64 threads" "$qztool" frames "$long" --y4m /dev/null --threads 64
mkdir -p "$work/png"
measure "frames --png (short)" "$qztool" frames "$short" --pixel-format rgb565 --png "$work/png/f%06d.png"
measure "frames --png (short), 64 threads" "$qztool" frames "$short" --png "$work/png/f%06d.png" \
    --threads 64
rm -rf "$work/png"
