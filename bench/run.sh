#!/usr/bin/env bash
# Times graphrep on large generated graphs, next to the floor set by cat and the awk
# replication a user would otherwise write, and checks graphrep's output against awk's.
# Columns: t1 and t8 are graphrep with -times 1 and -times 8 (check, build and write), with
# MB/s of input and of output and the peak resident memory (GNU time); "cat in" reads the
# input to /dev/null; "cat out" and "dd out" copy the -times 8 output into a new file (cat
# copies inside the kernel, dd through a user buffer as graphrep must); awk is bench/
# replicate.awk with -times 8, run once.
#
#   bash bench/run.sh [RUNS]        (default 5 runs; the median is reported)
#
# Inputs are generated once, seeded, into $BENCH_DIR (default /tmp/graphrep-bench),
# outside the repository. Needs g++, cmake, awk and GNU time (/usr/bin/time).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
bench_dir=${BENCH_DIR:-/tmp/graphrep-bench}
mkdir -p "$bench_dir"

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DGRAPHREP_TESTS=OFF >/dev/null
cmake --build build/bench --target graphrep -j2 >/dev/null
graphrep=$PWD/build/bench/graphrep
g++ -O2 -std=c++20 -o "$bench_dir/generate_graph" bench/generate_graph.cpp

generate() {  # NAME ARGS...
    local name=$1
    shift
    [ -s "$bench_dir/$name.graph" ] || "$bench_dir/generate_graph" "$@" >"$bench_dir/$name.graph"
}
generate grid grid 1000 1000
generate hub hub 1000000
generate geometric geometric 970000 12
generate grid-weighted grid 1000 1000 weighted

# Median wall time in seconds of RUNS runs of a shell command.
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

megabytes() { awk -v bytes="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", bytes / 1e6 }'; }
rate() { awk -v mb="$1" -v s="$2" 'BEGIN { printf "%.0f", mb / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '%s, %s cores; %s runs each, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '%-14s %6s | %6s %6s %6s | %6s %7s %6s %6s | %6s %7s %6s | %6s %6s %7s %6s | %s\n' \
    input "MB" "t1 s" "MB/s" "MiB" "t8 s" "out MB" "MB/s" "MiB" "cat in" "cat out" "dd out" \
    "t8/cat" "t8/dd" "awk s" "awk/t8" "output"
for name in grid hub geometric grid-weighted; do
    input=$bench_dir/$name.graph
    out1=$bench_dir/$name.x1
    out8=$bench_dir/$name.x8
    copy=$bench_dir/$name.copy
    # Every timed command writes a new file, as cat does below: replacing an existing
    # file costs more on file systems that flush the new data at the rename.
    t1=$(median_seconds "rm -f '$out1'; '$graphrep' -in '$input' -times 1 -out '$out1'")
    m1=$(peak_mib "'$graphrep' -in '$input' -times 1 -out /dev/null")
    t8=$(median_seconds "rm -f '$out8'; '$graphrep' -in '$input' -times 8 -out '$out8'")
    m8=$(peak_mib "'$graphrep' -in '$input' -times 8 -out /dev/null")
    cat_in=$(median_seconds "cat '$input' >/dev/null")
    cat_out=$(median_seconds "rm -f '$copy'; cat '$out8' >'$copy'")
    dd_out=$(median_seconds "rm -f '$copy'; dd if='$out8' of='$copy' bs=4M status=none")
    start=$(date +%s%N)
    awk -v times=8 -v name="$input" -f bench/replicate.awk "$input" >"$bench_dir/$name.awk8"
    end=$(date +%s%N)
    t_awk=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')
    if cmp -s "$out8" "$bench_dir/$name.awk8"; then same=same-as-awk; else same=DIFFERS-FROM-AWK; fi
    mb_in=$(megabytes "$input")
    mb_out=$(megabytes "$out8")
    printf '%-14s %6s | %6s %6s %6s | %6s %7s %6s %6s | %6s %7s %6s | %6s %6s %7s %6s | %s\n' \
        "$name" "$mb_in" "$t1" "$(rate "$mb_in" "$t1")" "$m1" "$t8" "$mb_out" "$(rate "$mb_out" "$t8")" \
        "$m8" "$cat_in" "$cat_out" "$dd_out" "$(ratio "$t8" "$cat_out")" "$(ratio "$t8" "$dd_out")" \
        "$t_awk" "$(ratio "$t_awk" "$t8")" "$same"
    rm -f "$out1" "$out8" "$copy" "$bench_dir/$name.awk8"
done
