#!/usr/bin/env bash
# Times the binary layout and output written in parts on the 1000 x 1000 grid, -times 8:
#
#   bash bench/binary_parts.sh [RUNS]        (default 5 runs; the median is reported)
#
# 1. -format parhip against dd bs=1M copying the same bytes into a new file, and against
#    the same run to /dev/null (no page cache to fill) and with -times 1 (reading, checking
#    and building the graph: the fixed cost before any output).
# 2. -part with P = 2: both parts started at once, each with the default threads, against
#    one run, in both formats; the parted files are compared with the whole ones.
# 3. Peak memory (GNU time) of -format parhip with -times 8 and -times 64 into /dev/null:
#    the copies pass through one bounded buffer per thread.
#
# The commands take turns, one run of each per round, so that other load on the machine
# weighs on all of them alike; every timed command writes a new file, after a sync. The input is generated
# once, seeded, into $BENCH_DIR (default /tmp/graphrep-bench). Needs g++, cmake, dd and GNU
# time (/usr/bin/time).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
source bench/common.sh
sync_before_runs=1
generate grid grid 1000 1000
input=$bench_dir/grid.graph

binary=$bench_dir/grid.parhip8
text=$bench_dir/grid.text8
out=$bench_dir/grid.out
run="'$graphrep' -in '$input' -times 8"
"$graphrep" -in "$input" -times 8 -format parhip -out "$binary" >/dev/null
"$graphrep" -in "$input" -times 8 -out "$text" >/dev/null

medians_in_turns \
    "rm -f '$out'; $run -format parhip -out '$out'" \
    "rm -f '$out'; dd if='$binary' of='$out' bs=1M status=none" \
    "$run -format parhip -out /dev/null" \
    "'$graphrep' -in '$input' -times 1 -format parhip -out /dev/null" \
    "rm -f '$out'; $run -format parhip -out '$out' -part 0/2 & $run -format parhip -out '$out' -part 1/2; wait" \
    "rm -f '$out'; $run -out '$out'" \
    "rm -f '$out'; $run -out '$out' -part 0/2 & $run -out '$out' -part 1/2; wait"
t_binary=${medians[0]} t_dd=${medians[1]} t_null=${medians[2]} t_fixed=${medians[3]}
t_binary_parts=${medians[4]} t_text=${medians[5]} t_text_parts=${medians[6]}

rm -f "$out"
"$graphrep" -in "$input" -times 8 -format parhip -out "$out" -part 1/2 >/dev/null
"$graphrep" -in "$input" -times 8 -format parhip -out "$out" -part 0/2 >/dev/null
if cmp -s "$out" "$binary"; then same_binary=same; else same_binary=DIFFERS; fi
rm -f "$out"
"$graphrep" -in "$input" -times 8 -out "$out" -part 1/2 >/dev/null
"$graphrep" -in "$input" -times 8 -out "$out" -part 0/2 >/dev/null
if cmp -s "$out" "$text"; then same_text=same; else same_text=DIFFERS; fi
m8=$(peak_mib "$run -format parhip -out /dev/null")
m64=$(peak_mib "'$graphrep' -in '$input' -times 64 -format parhip -out /dev/null")
m_part=$(peak_mib "$run -format parhip -out '$out' -part 1/2")
mb_binary=$(megabytes "$binary")
mb_text=$(megabytes "$text")
rm -f "$out" "$binary" "$text"

printf '%s, %s processors; %s runs each, taking turns, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '\nBinary layout, grid -times 8 (%s MB)\n' "$mb_binary"
printf '%-30s %8s %8s\n' run s "/ dd"
printf '%-30s %8s %8s\n' "-format parhip" "$t_binary" "$(ratio "$t_binary" "$t_dd")"
printf '%-30s %8s %8s\n' "dd bs=1M, same bytes" "$t_dd" "1.00"
printf '%-30s %8s %8s\n' "-format parhip, /dev/null" "$t_null" "$(ratio "$t_null" "$t_dd")"
printf '%-30s %8s %8s\n' "-times 1, /dev/null" "$t_fixed" "$(ratio "$t_fixed" "$t_dd")"
printf '\nTwo parts at once against one run (text %s MB)\n' "$mb_text"
printf '%-8s %8s %8s %8s %s\n' format "one s" "parts s" "speed-up" "parted file"
printf '%-8s %8s %8s %8s %s\n' parhip "$t_binary" "$t_binary_parts" \
    "$(ratio "$t_binary" "$t_binary_parts")" "$same_binary"
printf '%-8s %8s %8s %8s %s\n' text "$t_text" "$t_text_parts" \
    "$(ratio "$t_text" "$t_text_parts")" "$same_text"
printf '\nPeak MiB, -format parhip: -times 8 %s, -times 64 %s, one part of two %s\n' \
    "$m8" "$m64" "$m_part"
