#!/usr/bin/env bash
# Times -repair against a plain run: -repair -times 8 on a faulty copy of each benchmark
# graph (1 % of the edges listed at one end only, about 0.1 % of the edges self edges, the
# header's edge count off) against -times 8 on the valid graph, in turns; median wall time,
# peak resident memory (GNU time) and the two ratios. The repaired output is checked once
# with -check -strict.
#
#   bash bench/repair.sh [RUNS]        (default 5 runs; the median is reported)
#
# Inputs are generated once, seeded, into $BENCH_DIR (default /tmp/graphrep-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
source bench/common.sh
generate grid grid 1000 1000
generate hub hub 1000000
generate geometric geometric 970000 12
generate grid-weighted grid 1000 1000 weighted
generate shuffled shuffled 500000 12

out=$bench_dir/repair.out
printf '%s, %s cores; %s runs each, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '%-14s %8s %8s %6s %9s %9s %6s\n' input "valid s" "repair s" "x" "valid MiB" \
    "repair MiB" "x"
for name in grid hub geometric grid-weighted shuffled; do
    faulty=$bench_dir/$name-faulty.graph
    [ -s "$faulty" ] || awk -v one_sided=0.01 -v self=0.0005 -f bench/make_faulty.awk \
        "$bench_dir/$name.graph" >"$faulty"
    valid_run="'$graphrep' -in '$bench_dir/$name.graph' -times 8 -out '$out'"
    repair_run="'$graphrep' -in '$faulty' -times 8 -repair -out '$out'"
    medians_in_turns "rm -f '$out'; $valid_run" "rm -f '$out'; $repair_run >/dev/null"
    rm -f "$out"
    valid_mib=$(peak_mib "$valid_run")
    rm -f "$out"
    repair_mib=$(peak_mib "$repair_run")
    "$graphrep" -check -strict -in "$out" >/dev/null || echo "$name: repaired output not accepted"
    rm -f "$out"
    printf '%-14s %8s %8s %6s %9s %9s %6s\n' "$name" "${medians[0]}" "${medians[1]}" \
        "$(ratio "${medians[1]}" "${medians[0]}")" "$valid_mib" "$repair_mib" \
        "$(ratio "$repair_mib" "$valid_mib")"
done
