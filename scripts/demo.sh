#!/usr/bin/env bash
# Sets everything up, builds, writes the demo movie with our own encoder and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

bin=build/release
movie=$bin/demo.qz
"$bin/tools/qztool" demo "$movie"
"$bin/tools/qztool" info "$movie"
"$bin/frontend/playqz" -verbose "$movie"
