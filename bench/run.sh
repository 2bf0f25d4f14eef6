#!/usr/bin/env bash
# Times graphrep on large generated graphs, next to the floors set by cat, dd and a bare
# parse-and-print pass, and the awk replication a user would otherwise write, and checks
# graphrep's output against awk's and the reference pass's.
#
#   bash bench/run.sh [RUNS]        (default 5 runs; the median is reported)
#
# For each input the timed commands take turns, one run of each per round, so that other
# load on the machine weighs on all of them alike and their ratios hold. Every timed command
# writes a new file (replacing an existing file costs more on file systems that flush the
# new data at the rename). Three tables:
#
# 1. Check, build and write. t1 and t8 are graphrep with -times 1 and -times 8 and the
#    default number of formatting threads, with MB/s of input and of output and the peak
#    resident memory (GNU time); "cat in" reads the input to /dev/null; "cat out" and
#    "dd out" copy the -times 8 output into a new file (cat inside the kernel, dd bs=1M
#    through a user buffer as graphrep must); awk is bench/replicate.awk with -times 8,
#    run once.
# 2. Formatting threads, -times 8: graphrep with -threads 1 and with the default, each
#    against dd copying the same output, the speed-up between them, and their peak memory.
# 3. The floor on one thread, -times 1: graphrep against bench/reference_pass.cpp, which
#    reads the file, splits it into numbers and writes them shifted with no check at all
#    (its output must be graphrep's, byte for byte); and graphrep -check, which reads and
#    checks only, against the -times 1 run.
# 4. Checking: graphrep -check in MB/s of input, with -threads 1 and with the default, the
#    speed-up between them, the time per input byte against the grid's, and peak memory.
#
# Inputs are generated once, seeded, into $BENCH_DIR (default /tmp/graphrep-bench),
# outside the repository. Needs g++, cmake, awk, dd and GNU time (/usr/bin/time).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
source bench/common.sh
g++ -O2 -std=c++20 -o "$bench_dir/reference_pass" bench/reference_pass.cpp
reference=$bench_dir/reference_pass

generate grid grid 1000 1000
generate hub hub 1000000
generate geometric geometric 970000 12
generate grid-weighted grid 1000 1000 weighted
generate shuffled shuffled 500000 12

rate() { awk -v mb="$1" -v s="$2" 'BEGIN { printf "%.0f", mb / s }'; }

table1=()
table2=()
table3=()
table4=()
grid_check_per_mb=
for name in grid hub geometric grid-weighted shuffled; do
    input=$bench_dir/$name.graph
    out1=$bench_dir/$name.x1
    out8=$bench_dir/$name.x8
    copy=$bench_dir/$name.copy
    # The -times 8 output that cat and dd copy.
    "$graphrep" -in "$input" -times 8 -out "$out8" >/dev/null
    medians_in_turns \
        "rm -f '$out1'; '$graphrep' -in '$input' -times 1 -out '$out1'" \
        "rm -f '$out1'; '$reference' '$input' 1 '$out1'" \
        "'$graphrep' -check -in '$input' -times 1 -out '$out1.check'; rm -f '$out1.check'" \
        "'$graphrep' -check -in '$input' -threads 1" \
        "rm -f '$copy'; '$graphrep' -in '$input' -times 8 -threads 1 -out '$copy'" \
        "rm -f '$copy'; '$graphrep' -in '$input' -times 8 -out '$copy'" \
        "cat '$input' >/dev/null" \
        "rm -f '$copy'; cat '$out8' >'$copy'" \
        "rm -f '$copy'; dd if='$out8' of='$copy' bs=1M status=none"
    t1=${medians[0]} t_reference=${medians[1]} t_check=${medians[2]} t_check_one=${medians[3]}
    t8_one=${medians[4]} t8=${medians[5]}
    cat_in=${medians[6]} cat_out=${medians[7]} dd_out=${medians[8]}
    m1=$(peak_mib "'$graphrep' -in '$input' -times 1 -out /dev/null")
    m8=$(peak_mib "'$graphrep' -in '$input' -times 8 -out /dev/null")
    m8_one=$(peak_mib "'$graphrep' -in '$input' -times 8 -threads 1 -out /dev/null")
    m_check=$(peak_mib "'$graphrep' -check -in '$input'")

    "$graphrep" -in "$input" -times 1 -out "$out1" >/dev/null
    "$reference" "$input" 1 "$copy"
    if cmp -s "$out1" "$copy"; then same_reference=same; else same_reference=DIFFERS; fi
    start=$(date +%s%N)
    awk -v times=8 -v name="$input" -f bench/replicate.awk "$input" >"$bench_dir/$name.awk8"
    end=$(date +%s%N)
    t_awk=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')
    if cmp -s "$out8" "$bench_dir/$name.awk8"; then same=same-as-awk; else same=DIFFERS-FROM-AWK; fi
    mb_in=$(megabytes "$input")
    mb_out=$(megabytes "$out8")
    rm -f "$out1" "$out8" "$copy" "$bench_dir/$name.awk8"

    table1+=("$(printf '%-14s %6s | %6s %6s %6s | %6s %7s %6s %6s | %6s %7s %6s | %6s %6s | %7s %6s | %s' \
        "$name" "$mb_in" "$t1" "$(rate "$mb_in" "$t1")" "$m1" "$t8" "$mb_out" "$(rate "$mb_out" "$t8")" \
        "$m8" "$cat_in" "$cat_out" "$dd_out" "$(ratio "$t8" "$cat_out")" "$(ratio "$t8" "$dd_out")" \
        "$t_awk" "$(ratio "$t_awk" "$t8")" "$same")")
    table2+=("$(printf '%-14s | %10s %9s %8s | %6s %11s %10s | %12s %11s' \
        "$name" "$t8_one" "$t8" "$(ratio "$t8_one" "$t8")" "$dd_out" "$(ratio "$t8_one" "$dd_out")" \
        "$(ratio "$t8" "$dd_out")" "$m8_one" "$m8")")
    check_per_mb=$(awk -v s="$t_check" -v mb="$mb_in" 'BEGIN { printf "%.6f", s / mb }')
    [ -n "$grid_check_per_mb" ] || grid_check_per_mb=$check_per_mb
    table4+=("$(printf '%-14s %6s | %8s %7s | %8s %7s %8s | %10s | %6s' \
        "$name" "$mb_in" "$t_check_one" "$(rate "$mb_in" "$t_check_one")" "$t_check" \
        "$(rate "$mb_in" "$t_check")" "$(ratio "$t_check_one" "$t_check")" \
        "$(ratio "$check_per_mb" "$grid_check_per_mb")" "$m_check")")
    table3+=("$(printf '%-14s | %6s %11s %9s | %7s %8s | %s' \
        "$name" "$t1" "$t_reference" "$(ratio "$t1" "$t_reference")" "$t_check" \
        "$(ratio "$t_check" "$t1")" "$same_reference")")
done

printf '%s, %s processors; %s runs each, taking turns, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '\nCheck, build and write (default formatting threads)\n'
printf '%-14s %6s | %6s %6s %6s | %6s %7s %6s %6s | %6s %7s %6s | %6s %6s | %7s %6s | %s\n' \
    input "MB" "t1 s" "MB/s" "MiB" "t8 s" "out MB" "MB/s" "MiB" "cat in" "cat out" "dd out" \
    "t8/cat" "t8/dd" "awk s" "awk/t8" "output"
printf '%s\n' "${table1[@]}"
printf '\nFormatting threads, -times 8\n'
printf '%-14s | %10s %9s %8s | %6s %11s %10s | %12s %11s\n' input "1 thread s" "default s" \
    "speed-up" "dd s" "1 thread/dd" "default/dd" "MiB 1 thread" "MiB default"
printf '%s\n' "${table2[@]}"
printf '\nThe floor on one thread and check-only runs, -times 1\n'
printf '%-14s | %6s %11s %9s | %7s %8s | %s\n' input "t1 s" "reference s" "t1/ref" "check s" \
    "check/t1" "reference output"
printf '%s\n' "${table3[@]}"
printf '\nChecking, -check (grid first: the per-byte ratio is against it)\n'
printf '%-14s %6s | %8s %7s | %8s %7s %8s | %10s | %6s\n' input "MB" "1 thr s" "MB/s" \
    "default" "MB/s" "speed-up" "s/MB/grid" "MiB"
printf '%s\n' "${table4[@]}"
