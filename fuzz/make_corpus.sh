#!/usr/bin/env bash
# Remakes the seed corpora in fuzz/corpus/<target>/ with make_seeds (fuzz/make_seeds.cpp): small
# pictures and sounds from our own encoders, cut into the inputs each target reads. Builds the
# fuzz preset's make_seeds unless a path to one is given. Usage: fuzz/make_corpus.sh [make_seeds]
set -euo pipefail
cd "$(dirname "$0")/.."

make_seeds=${1:-}
if [ -z "$make_seeds" ]; then
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j2 --target fuzz_make_seeds >/dev/null
    make_seeds=build/fuzz/fuzz/make_seeds
fi
rm -rf fuzz/corpus
"$make_seeds" fuzz/corpus
du -sh fuzz/corpus/*
