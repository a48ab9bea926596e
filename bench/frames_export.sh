#!/bin/sh
# Decoding speed of `qztool frames` on one core (--threads 1, the process held to core 0 with
# taskset) and on every core (one decoder a core), for a 640x480 movie of each codec family made
# by our own encoder, and whether both write the same bytes.
#
#   bench/frames_export.sh QZTOOL [ROUNDS] [FRAMES] [KEEP]
#
# The pictures (FRAMES, default 600) are a textured window drifting over a larger picture, made
# by a few lines of Python, so that KRT delta frames and DOR motion frames find motion; KRT and
# DOR take a key frame every 6 frames. Each setting runs ROUNDS times (default 5), the two
# settings taking turns so that both meet the same load; the medians give frames a second. The
# export writes raw pixels to /dev/null, so the figures are decoding and handing over the
# frames; "best" is the speed-up of the fastest round of each setting (what the program does
# when nothing else on the machine slows either); the last column is the peak resident memory
# of the all-core run. QZ_EXPORT=y4m writes a Y4M stream instead (each frame also converted to
# limited-range Y'CbCr). Each round also runs one single-core export on every core at once: the
# "machine" column is what the cores give together (cores times the one-core median over the
# median of those rounds), the most any export can gain on the machine as it runs at the time;
# on a shared virtual machine it moves from minute to minute, and "of it" is the share of it the
# all-core export reaches. With a folder KEEP,
# the movies are kept there and taken from there by later runs (encoding takes longer than the
# measuring: most of a minute for the KRT movie).
set -eu
output=--${QZ_EXPORT:-raw}

qztool=$1
rounds=${2:-5}
frames=${3:-600}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
movies=${4:-$work}
mkdir -p "$movies"

[ -f "$movies/dor.qz" ] || python3 - "$frames" >"$work/in.y4m" <<'PY'
import math, sys
w, h, frames = 640, 480, int(sys.argv[1])
W, H = 2 * w, 2 * h
tex = bytearray(W * H)
for y in range(H):
    wave = math.sin(y / 23.0) * 50
    for x in range(W):
        tex[y * W + x] = int(128 + wave + math.sin(x / 17.0 + y / 41.0) * 60 + (x * 7 + y * 13) % 11 * 2) & 255
ctex = bytes(i * 3 & 255 for i in range(W // 2)) * (H // 2)
out = sys.stdout.buffer
out.write(b"YUV4MPEG2 W%d H%d F15:1 Ip A1:1 C420jpeg\n" % (w, h))
for f in range(frames):
    ox, oy = f * 5 % (W - w), f * 3 % (H - h)
    out.write(b"FRAME\n" + b"".join(tex[(oy + y) * W + ox:(oy + y) * W + ox + w] for y in range(h)))
    for _ in range(2):
        out.write(b"".join(ctex[(oy // 2 + y) * (W // 2) + ox // 2:(oy // 2 + y) * (W // 2) + ox // 2 + w // 2]
                           for y in range(h // 2)))
PY

# Seconds from $1 (a date +%s.%N) to now.
secondsSince() {
    echo "$1 $(date +%s.%N)" | awk '{ print $2 - $1 }'
}

# Seconds of one export of $1 with --threads $2 into $3, run through $4 (taskset -c 0 or "").
seconds() {
    start=$(date +%s.%N)
    $4 "$qztool" frames "$1" "$output" "$3" --threads "$2" >/dev/null
    secondsSince "$start"
}

# Seconds until one export of $1 with --threads 1, held to its own core, ends on every core.
everyCoreSeconds() {
    start=$(date +%s.%N)
    c=0
    while [ "$c" -lt "$cores" ]; do
        taskset -c "$c" "$qztool" frames "$1" "$output" /dev/null --threads 1 >/dev/null &
        c=$((c + 1))
    done
    wait
    secondsSince "$start"
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "640x480 movies, $output, $cores cores, median of $rounds rounds; $(uptime | sed 's/.*load/load/')"
printf '%-6s %6s %22s %22s %9s %7s %8s %6s %6s %8s\n' codec frames "1 core" "$cores cores" \
    speed-up best machine "of it" bytes "peak RSS"
for codec in type3 type4 krt dor; do
    movie=$movies/$codec.qz
    [ -f "$movie" ] || "$qztool" encode "$work/in.y4m" -o "$movie" --video "$codec" \
        --key-interval 6 >/dev/null
    : >"$work/one.t"
    : >"$work/all.t"
    : >"$work/every.t"
    i=0
    while [ "$i" -lt "$rounds" ]; do
        seconds "$movie" 1 /dev/null "taskset -c 0" >>"$work/one.t"
        seconds "$movie" "$cores" /dev/null "" >>"$work/all.t"
        everyCoreSeconds "$movie" >>"$work/every.t"
        i=$((i + 1))
    done
    frames=$("$qztool" frames "$movie" "$output" "$work/one.raw" --threads 1 | awk '{ print $2 }')
    rss=$(/usr/bin/time -f %M "$qztool" frames "$movie" "$output" "$work/all.raw" \
        --threads "$cores" 2>&1 >/dev/null | tail -1)
    same=same
    cmp -s "$work/one.raw" "$work/all.raw" || same=DIFFERENT
    one=$(median <"$work/one.t")
    all=$(median <"$work/all.t")
    every=$(median <"$work/every.t")
    oneBest=$(sort -n "$work/one.t" | head -1)
    allBest=$(sort -n "$work/all.t" | head -1)
    awk -v c="$codec" -v f="$frames" -v a="$one" -v b="$all" -v s="$same" -v r="$rss" \
        -v a1="$oneBest" -v b1="$allBest" -v e="$every" -v n="$cores" 'BEGIN {
        printf "%-6s %6d %8.3f s %7.1f f/s %8.3f s %7.1f f/s %8.2fx %6.2fx %7.2fx %5.0f%% %6s %5.1f MB\n",
            c, f, a, f / a, b, f / b, a / b, a1 / b1, n * a / e, 100 * e / (n * b), s, r / 1024
    }'
done
