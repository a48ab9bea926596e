#!/usr/bin/env bash
# Makes the seed corpora in fuzz/corpus/<target>/ from movies written by our own encoder
# (qztool demo, demo --krt, demo --dor): short cut-down movies for the whole-file and walker
# targets, frames cut out of them behind the decoder targets' setup bytes
# (fuzz/frame_harness.h) for the decoder targets, and stream header + audio payload pairs for
# the audio target. Usage: fuzz/make_corpus.sh [path to qztool]; builds the release qztool when
# none is given.
set -euo pipefail
cd "$(dirname "$0")/.."

qztool=${1:-}
if [ -z "$qztool" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j2 --target qztool >/dev/null
    qztool=build/release/tools/qztool
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$qztool" demo "$work/dct.qz" >/dev/null
"$qztool" demo --krt "$work/krt.qz" >/dev/null
"$qztool" demo --dor "$work/dor.qz" >/dev/null

rm -rf fuzz/corpus
python3 - "$work" fuzz/corpus <<'PY'
import os, struct, sys

work, out = sys.argv[1], sys.argv[2]

def chunks(path):
    data = open(path, 'rb').read()
    at, found = 0, []
    while at + 8 <= len(data):
        cid, size = data[at:at + 4], struct.unpack('<I', data[at + 4:at + 8])[0]
        if size < 8:
            break
        found.append((cid, data[at:at + size]))
        at += size
    return found

def write(target, name, data):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    with open(os.path.join(out, target, name), 'wb') as f:
        f.write(data)

# Setup bytes of the decoder targets: format selector and flags, placement and gamma, target
# width and height, row padding, picture x and y.
def setup(select, place, width, height, pad, x, y):
    return struct.pack('<BBHHBhh', select, place, width - 1, height - 1, pad, x, y)

setups = [
    setup(0, 0, 320, 240, 0, 0, 0),
    setup(1 | 0x10, 0, 321, 200, 3, -17, 5),
    setup(2 | 0x20, 1, 100, 60, 7, 40, -30),
    setup(3 | 0x40, 2, 333, 250, 1, 0, 0),
    setup(0 | 0x30, 4, 160, 120, 13, -200, -100),
    setup(1, 2, 512, 300, 5, 300, 200),
    setup(0, 0, 40, 30, 1, -5, 2),
]

def frames(seq):
    return b''.join(struct.pack('<BI', sel, len(p))[:4] + p for sel, p in seq)

movies = {name: chunks(os.path.join(work, name + '.qz')) for name in ('dct', 'krt', 'dor')}
end = [(c, b) for c, b in movies['dct'] if c == b'SEND'][0][1]

# Whole-file and walker targets: the top of each movie (headers and the first chunks) and an
# end chunk; the movie target's first byte picks the format.
for name, cs in movies.items():
    for count in (4, 9):
        movie = b''.join(b for _, b in cs[:count]) + end
        write('walker', f'{name}_{count}', movie)
        for fmt in range(5):
            if count == 4 or fmt in (1, 3):
                write('movie', f'{name}_{count}_f{fmt}', bytes([fmt + 5 * (count % 7)]) + movie)

def payloads(cs, ids):
    return [(c, b[8:]) for c, b in cs if c in ids]

# Decoder targets: one frame, and a few in sequence, behind each setup.
def decoder_seeds(target, cs, ids, selector, sequences):
    got = payloads(cs, ids)
    for i, setup_bytes in enumerate(setups):
        for j, (start, count) in enumerate(sequences):
            seq = [(selector(c), p) for c, p in got[start:start + count]]
            write(target, f'{target}_{i}_{j}', setup_bytes + frames(seq))

decoder_seeds('krt', movies['krt'], (b'KRTk', b'KRTf'), lambda c: 0 if c == b'KRTk' else 1,
              [(0, 1), (0, 3)])
decoder_seeds('type3', movies['dct'], (b'MQZf',), lambda c: 0, [(0, 1), (2, 2)])
decoder_seeds('type4', movies['dct'], (b'QZ2f',), lambda c: 0, [(0, 1), (3, 2)])
decoder_seeds('dor', movies['dor'], (b'DORk', b'DORm', b'DORe'),
              lambda c: {b'DORk': 0, b'DORm': 1, b'DORe': 2}[c], [(0, 1), (0, 4)])

# Audio: the stream header, a capacity selector and the first data payloads.
header = payloads(movies['dct'], (b'SCHl',))[0][1]
for i, (_, data) in enumerate(payloads(movies['dct'], (b'SCDl',))[:3]):
    for cap in (0, 0x81):
        write('audio', f'audio_{i}_{cap}', struct.pack('<H', len(header)) + header + bytes([cap]) + data)
PY
du -sh fuzz/corpus/*
