#!/usr/bin/env bash
# Times what -weights and -join add to writing copies, next to the plain run: the 1000 x 1000
# grid with -times 8 as it is and with 1,000 join pairs (its last column joined to the first
# column of the next copy, the way a strip of meshes is joined), and the same grid with edge
# weights (format 1) without and with -weights. Columns: median wall time, output MB, peak
# resident memory (GNU time), and the time as a multiple of the plain grid's.
#
#   bash bench/join_weights.sh [RUNS]        (default 5 runs; the median is reported)
#
# Inputs are generated once, seeded, into $BENCH_DIR (default /tmp/graphrep-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
bench_dir=${BENCH_DIR:-/tmp/graphrep-bench}
mkdir -p "$bench_dir"

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DGRAPHREP_TESTS=OFF >/dev/null
cmake --build build/bench --target graphrep -j2 >/dev/null
graphrep=$PWD/build/bench/graphrep
g++ -O2 -std=c++20 -o "$bench_dir/generate_graph" bench/generate_graph.cpp
[ -s "$bench_dir/grid.graph" ] || "$bench_dir/generate_graph" grid 1000 1000 >"$bench_dir/grid.graph"
[ -s "$bench_dir/grid-weighted.graph" ] ||
    "$bench_dir/generate_graph" grid 1000 1000 weighted >"$bench_dir/grid-weighted.graph"

# Row r's last vertex, 1000 r + 1000, joined to its first, 1000 r + 1.
joins=$(awk 'BEGIN { for (r = 0; r < 1000; r++) printf "%s%d:%d", (r ? "," : ""), 1000 * r + 1000, 1000 * r + 1 }')

median_seconds() {
    local command=$1 times=() start end
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        bash -c "$command" >/dev/null
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.3f", t[int((NR + 1) / 2)] / 1e6 }'
}

peak_mib() {
    /usr/bin/time -f %M bash -c "exec $1" 2>&1 >/dev/null | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'
}

printf '%s, %s cores; %s runs each, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '%-34s %7s %7s %7s %8s\n' run "s" "out MB" "MiB" "x plain"
out=$bench_dir/join_weights.out
plain=""
while IFS='|' read -r label input options; do
    command="'$graphrep' -in '$bench_dir/$input' -times 8 $options"
    seconds=$(median_seconds "rm -f '$out'; $command -out '$out'")
    mb=$(awk -v bytes="$(stat -c %s "$out")" 'BEGIN { printf "%.1f", bytes / 1e6 }')
    mib=$(peak_mib "$command -out /dev/null")
    plain=${plain:-$seconds}
    printf '%-34s %7s %7s %7s %8s\n' "$label" "$seconds" "$mb" "$mib" \
        "$(awk -v a="$seconds" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')"
    rm -f "$out"
done <<END
grid -times 8 (plain)|grid.graph|
grid -times 8, 1,000 join pairs|grid.graph|-join $joins
weighted grid -times 8|grid-weighted.graph|
weighted grid -times 8 -weights|grid-weighted.graph|-weights
END
