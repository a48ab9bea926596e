#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a short bounded time (20 s each
# by default, QZ_FUZZ_SECONDS to change it) on its seed corpus. Exits non-zero when a target
# crashes, times out (over 1 s), leaks or runs out of memory.
set -euo pipefail
cd "$(dirname "$0")/.."
exec scripts/fuzz_long.sh "${QZ_FUZZ_SECONDS:-20}"
