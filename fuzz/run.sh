#!/usr/bin/env bash
# Builds the fuzz targets with clang and fuzzes each for a fixed time.
#
#   bash fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]   (default 60 seconds, all targets)
#
# Each target starts from fuzz/corpus/ and its saved crash inputs in fuzz/regressions/TARGET/,
# and keeps what it finds in build/fuzz/corpus-TARGET, so a later run goes on from there.
# A crash, a leak, a sanitizer report or a hang stops the run with a non-zero status and
# leaves the input in build/fuzz/artifacts/. Two runs side by side share the build: build
# once (a run of 1 second) before starting them.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(scanner_fuzz seam_fuzz reader_fuzz replicate_fuzz parallel_reader_fuzz
    parhip_reader_fuzz repair_fuzz edge_list_reader_fuzz)

cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build/fuzz -j2 >/dev/null
mkdir -p build/fuzz/artifacts
for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus-$target
    mkdir -p "$corpus"
    echo "== fuzzing $target for $seconds s"
    log=build/fuzz/$target.log
    status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
        "$corpus" fuzz/corpus "fuzz/regressions/$target" >"$log" 2>&1 || status=$?
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$target failed with status $status"
        exit 1
    fi
done
