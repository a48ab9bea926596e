#!/usr/bin/env bash
# Sets everything up, then builds and runs the whole test suite: the release build (GCC), the
# ASan+UBSan build (Clang) and the ThreadSanitizer build (GCC); the .deb of the release build
# installed, run and removed (when run as root); a short run of every fuzz target
# on its seeds; then the Windows build and its smoke test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
# Each stage's banner says how long the run has taken so far.
stage() { echo "=== $* ($((SECONDS / 60)) min $((SECONDS % 60)) s in) ==="; }
for preset in release asan tsan; do
    stage "$preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    stage "$preset tests"
    ctest --preset "$preset" -j "$jobs"
    if [ "$preset" = release ]; then
        stage "the .deb installed, run and removed (as root)"
        bash scripts/deb_test.sh
    fi
done

stage "fuzz targets, ${QZ_FUZZ_SECONDS:=15} s each"
QZ_FUZZ_SECONDS=$QZ_FUZZ_SECONDS bash scripts/fuzz_ci.sh

stage "windows build and wine smoke test"
bash scripts/wine_smoke.sh release
stage "done"
