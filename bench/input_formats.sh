#!/usr/bin/env bash
# Times reading inputs that are not plain text files: a compressed file checked directly
# against the same file decompressed by its own tool into a pipe (graphrep -check -in -), for
# zstd and gzip, on the 1000 x 1000 grid and the random geometric graph; and the binary
# layout read back (-from parhip -check) in MB/s of the binary file, against -check of the
# text file it came from; and edge lists of the same graphs (-from edgelist -check) in MB/s
# against -check of their text files.
#
#   bash bench/input_formats.sh [RUNS]        (default 5 runs; the median is reported)
#
# Inputs are generated once, seeded, into $BENCH_DIR (default /tmp/graphrep-bench), and
# compressed there at the tools' default levels. Needs zstd and gzip.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
source bench/common.sh
generate grid grid 1000 1000
generate geometric geometric 970000 12

printf '%s, %s cores; %s runs each, medians\n' "$(uname -srm)" "$(nproc)" "$runs"
printf '%-10s %-6s %9s %10s %10s %8s\n' input codec "MB packed" "direct s" "pipe s" "direct/pipe"
for name in grid geometric; do
    input=$bench_dir/$name.graph
    [ -s "$input.zst" ] || zstd -q -T0 -f "$input" -o "$input.zst"
    [ -s "$input.gz" ] || gzip -c "$input" >"$input.gz"
    for codec in zstd gzip; do
        packed=$input.$([ "$codec" = zstd ] && echo zst || echo gz)
        medians_in_turns \
            "'$graphrep' -check -in '$packed'" \
            "$codec -dc '$packed' | '$graphrep' -check -in -"
        printf '%-10s %-6s %9s %10s %10s %8s\n' "$name" "$codec" "$(megabytes "$packed")" \
            "${medians[0]}" "${medians[1]}" "$(ratio "${medians[0]}" "${medians[1]}")"
    done
done

echo
printf '%-10s %9s %14s %10s %9s %13s\n' input "MB binary" "-from parhip s" "MB/s" "text s" "text MB/s"
for name in grid geometric; do
    input=$bench_dir/$name.graph
    binary=$bench_dir/$name.parhip
    [ -s "$binary" ] || "$graphrep" -in "$input" -times 1 -format parhip -out "$binary" >/dev/null
    medians_in_turns \
        "'$graphrep' -from parhip -check -in '$binary'" \
        "'$graphrep' -check -in '$input'"
    printf '%-10s %9s %14s %10s %9s %13s\n' "$name" "$(megabytes "$binary")" "${medians[0]}" \
        "$(awk -v mb="$(megabytes "$binary")" -v s="${medians[0]}" 'BEGIN { printf "%.0f", mb / s }')" \
        "${medians[1]}" \
        "$(awk -v mb="$(megabytes "$input")" -v s="${medians[1]}" 'BEGIN { printf "%.0f", mb / s }')"
done

# Edge lists: each graph's edges written once each, "u v" counted from 0 as the common
# collections write them, read with -from edgelist -check against -check of the text file;
# each in MB/s of its own file, and the peak memory of each.
echo
printf '%-10s %6s %11s %8s %9s %13s %10s %10s\n' input "MB" "edgelist s" "MB/s" "text s" \
    "text MB/s" "edgelist MiB" "text MiB"
for name in grid geometric; do
    input=$bench_dir/$name.graph
    edges=$bench_dir/$name.edges
    [ -s "$edges" ] || awk '
        /^[%#]/ { next }
        !header { header = 1; next }
        { u++; for (i = 1; i <= NF; i++) if ($i > u) print u - 1, $i - 1 }' "$input" >"$edges"
    medians_in_turns \
        "'$graphrep' -from edgelist -check -in '$edges'" \
        "'$graphrep' -check -in '$input'"
    printf '%-10s %6s %11s %8s %9s %13s %10s %10s\n' "$name" "$(megabytes "$edges")" \
        "${medians[0]}" \
        "$(awk -v mb="$(megabytes "$edges")" -v s="${medians[0]}" 'BEGIN { printf "%.0f", mb / s }')" \
        "${medians[1]}" \
        "$(awk -v mb="$(megabytes "$input")" -v s="${medians[1]}" 'BEGIN { printf "%.0f", mb / s }')" \
        "$(peak_mib "'$graphrep' -from edgelist -check -in '$edges'")" \
        "$(peak_mib "'$graphrep' -check -in '$input'")"
done
