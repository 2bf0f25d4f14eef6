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
source bench/common.sh
generate grid grid 1000 1000
generate grid-weighted grid 1000 1000 weighted

# Row r's last vertex, 1000 r + 1000, joined to its first, 1000 r + 1.
joins=$(awk 'BEGIN { for (r = 0; r < 1000; r++) printf "%s%d:%d", (r ? "," : ""), 1000 * r + 1000, 1000 * r + 1 }')

labels=("grid -times 8 (plain)" "grid -times 8, 1,000 join pairs" "weighted grid -times 8"
    "weighted grid -times 8 -weights")
commands=("'$graphrep' -in '$bench_dir/grid.graph' -times 8"
    "'$graphrep' -in '$bench_dir/grid.graph' -times 8 -join $joins"
    "'$graphrep' -in '$bench_dir/grid-weighted.graph' -times 8"
    "'$graphrep' -in '$bench_dir/grid-weighted.graph' -times 8 -weights")
out=$bench_dir/join_weights.out

# The runs take turns, one of each per round, so that a load that comes and goes on the
# machine weighs on all of them alike.
declare -A microseconds
for ((round = 0; round < runs; round++)); do
    for i in "${!commands[@]}"; do
        rm -f "$out"
        start=$(date +%s%N)
        bash -c "${commands[$i]} -out '$out'" >/dev/null
        end=$(date +%s%N)
        microseconds[$i]+="$(((end - start) / 1000)) "
    done
done

median() { printf '%s\n' $1 | sort -n | awk '{ t[NR] = $1 } END { printf "%.3f", t[int((NR + 1) / 2)] / 1e6 }'; }

printf '%s, %s cores; %s runs each, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '%-34s %7s %7s %7s %8s\n' run "s" "out MB" "MiB" "x plain"
plain=$(median "${microseconds[0]}")
for i in "${!commands[@]}"; do
    seconds=$(median "${microseconds[$i]}")
    bash -c "${commands[$i]} -out '$out'" >/dev/null
    mb=$(awk -v bytes="$(stat -c %s "$out")" 'BEGIN { printf "%.1f", bytes / 1e6 }')
    rm -f "$out"
    printf '%-34s %7s %7s %7s %8s\n' "${labels[$i]}" "$seconds" "$mb" \
        "$(peak_mib "${commands[$i]} -out /dev/null")" \
        "$(awk -v a="$seconds" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')"
done
