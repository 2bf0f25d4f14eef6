#!/usr/bin/env bash
# Peak memory and time of checks that a hostile input could make large: messages by the
# million, and lines of a gibibyte that cannot count.
#
#   bash bench/hostile_memory.sh
#
# 1. "repeats": 10 MB, two vertices, the first listing the second five million times: about
#    five million warnings, each held until the messages can be printed in file order.
# 2. "zero line": 11 bytes of graph, then 1 GiB of NUL bytes on the last vertex line: the
#    NUL ends what the line can say, and the rest is read through, never held.
# 3. "digit line": 8 bytes of graph, then a line of 1 GiB of digits after the last vertex
#    line: only whether it begins with a number counts (the trailing-data warning), and the
#    rest is read through, never held.
#
# Each is checked once with graphrep -check, its messages counted; wall time and peak
# resident memory from GNU time (/usr/bin/time). The inputs are written once into $BENCH_DIR
# (default /tmp/graphrep-bench); the gibibyte ones take 1 GiB of disk each, and a minute of a
# build before this change.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

repeats=$bench_dir/repeats.graph
if [ ! -s "$repeats" ]; then
    awk 'BEGIN { printf "2 1\n"; for (i = 0; i < 5000000; i++) printf "2 "; printf "\n1\n" }' \
        >"$repeats"
fi
zero_line=$bench_dir/zero-line.graph
if [ ! -s "$zero_line" ]; then
    { printf '3 2\n2\n1 3\n2'; head -c 1073741824 /dev/zero; } >"$zero_line"
fi
digit_line=$bench_dir/digit-line.graph
if [ ! -s "$digit_line" ]; then
    { printf '2 1\n2\n1\n'; head -c 1073741824 /dev/zero | tr '\000' 1; } >"$digit_line"
fi

printf '%-10s %8s | %8s %9s | %s\n' input "MB" "check s" "peak MiB" "messages"
for name in repeats zero-line digit-line; do
    input=$bench_dir/$name.graph
    figures=$bench_dir/$name.time
    lines=$({ /usr/bin/time -f '%e %M' -o "$figures" "$graphrep" -check -in "$input" || true; } |
        wc -l)
    read -r seconds kib < <(tail -n 1 "$figures")
    rm -f "$figures"
    printf '%-10s %8s | %8s %9s | %s\n' "$name" "$(megabytes "$input")" "$seconds" \
        "$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')" "$lines"
done
