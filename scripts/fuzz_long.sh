#!/usr/bin/env bash
# Runs the libFuzzer targets one after another, each for SECONDS (default 3600), on a working
# corpus in build/fuzz/corpus/<target> seeded from fuzz/corpus/<target>, with the dictionary
# fuzz/qz.dict. Prints per target the executions, exec/s, coverage (libFuzzer's final cov:)
# and the crash, timeout, leak or out-of-memory inputs found (kept in
# build/fuzz/artifacts/<target>/). The inputs in fuzz/regressions/<target>_* run first. Exits
# non-zero when any of them fails or any target found a fault.
# Timeouts that do not repeat when the input runs alone are set aside (see below).
# Usage: scripts/fuzz_long.sh [SECONDS [TARGET...]]   (QZ_FUZZ_NO_BUILD=1 skips the build)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-3600}
# Seconds an input may run in the campaign (QZ_FUZZ_TIMEOUT); whatever stops it is replayed alone
# against 1 second.
timeout=${QZ_FUZZ_TIMEOUT:-1}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(movie reader krt type3 type4 dor audio walker y4m)

if [ -z "${QZ_FUZZ_NO_BUILD:-}" ]; then
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j2 >/dev/null
fi

# Largest input per target: a few frames or a movie's top, so that executions stay fast. An
# execution costs what its frames do, and libFuzzer lets inputs grow towards this length as a
# campaign goes on: at 8 KB the decoder targets slowed to half their early rate in half an hour.
max_len() {
    case $1 in
    movie | reader) echo 32768 ;;
    walker | audio) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

status=0
printf '%-8s %12s %8s %8s %s\n' target execs exec/s cov faults
for t in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$t
    artifacts=build/fuzz/artifacts/$t
    log=build/fuzz/logs/$t.log
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    cp -n fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
    # The inputs of faults found before (fuzz/regressions/<target>_*) must run clean first.
    regressions=(fuzz/regressions/"$t"_*)
    if [ -e "${regressions[0]}" ] &&
        ! build/fuzz/fuzz/"$t" "${regressions[@]}" >"build/fuzz/logs/$t.regressions.log" 2>&1; then
        printf '%-8s regression input fails: see build/fuzz/logs/%s.regressions.log\n' "$t" "$t"
        status=1
        continue
    fi
    # A timeout on a busy machine can be the scheduler's: an input that stopped the run on a
    # timeout is replayed alone, and when it then finishes within the limit it is set aside in
    # starved/ and the campaign goes on for the time left. Real faults stop the target.
    execs=0 cov='' found=0 rc=0 started=$SECONDS
    : >"$log"
    while left=$((seconds - (SECONDS - started))) && [ "$left" -gt 0 ]; do
        before=$(find "$artifacts" -maxdepth 1 -type f | wc -l)
        touch "$log.start"
        rc=0
        ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
            build/fuzz/fuzz/"$t" -max_total_time="$left" -timeout="$timeout" -rss_limit_mb=2048 \
            -max_len="$(max_len "$t")" -dict=fuzz/qz.dict -print_final_stats=1 \
            -artifact_prefix="$artifacts/" "$corpus" >>"$log" 2>&1 || rc=$?
        run_execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        execs=$((execs + ${run_execs:-0}))
        sed -i 's/^stat::number_of_executed_units:/stat::counted_executed_units:/' "$log"
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
        found=$(($(find "$artifacts" -maxdepth 1 -type f | wc -l) - before))
        [ "$rc" -ne 0 ] || break
        newest=$(find "$artifacts" -maxdepth 1 -type f -newer "$log.start" -name 'timeout-*' \
            -printf '%f\n')
        if [ "$found" -eq 1 ] && [ -n "$newest" ] &&
            build/fuzz/fuzz/"$t" -timeout=1 "$artifacts/$newest" >/dev/null 2>&1; then
            mkdir -p "$artifacts/starved"
            mv "$artifacts/$newest" "$artifacts/starved/"
            echo "set aside $newest: within the limit when run alone" >>"$log"
            found=0 rc=0
            continue
        fi
        break
    done
    elapsed=$((SECONDS - started))
    rate=$((execs / (elapsed > 0 ? elapsed : 1)))
    printf '%-8s %12s %8s %8s %s\n' "$t" "$execs" "$rate" "${cov:-?}" "$found"
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        status=1
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*deadly signal|artifact_prefix|Test unit written)' \
            "$log" | head -5 | sed 's/^/    /'
    fi
done
exit $status
