#!/bin/bash
# Checking what -wide writes, at full size: a mesh-like graph (15606 vertices of mean degree
# 6, the size of a small finite-element mesh) is written 23500 times with -wide, about
# 2.2 x 10^9 entries and 21 GB of text, past the 2^31 entries of the narrow arrays; then
# `-check -wide -stats` reads it back. Prints the time, MB/s and peak memory of each step,
# and the summary (its components: 23500 times those of the mesh). Not a CI test: it needs
# the disk and about 14 GiB of memory. TIMES=N writes a smaller multiple. ROUND_TRIP=1 then
# reads the file back once more and writes it as one copy with -wide, whose lines after the
# comment must be the file's: the wide arrays through the writer (another 21 GB of disk, and
# about 34 GB of memory at full size: the vertex graph the writer reads stands beside the
# arrays it is built from; on a 24 GiB machine the kernel ends it).
# The written files are removed on every path.
#
#   bash bench/wide_check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=1
source bench/common.sh
times=${TIMES:-23500}

generate mesh geometric 15606 6
mesh=$bench_dir/mesh.graph
big=$bench_dir/wide-$times.graph
copy=$bench_dir/wide-$times-copy.graph
trap 'rm -f "$big" "$copy"' EXIT

echo "mesh: $("$graphrep" -check -stats -quiet -in "$mesh" | grep -E '^(Vertices|Edges|Components)' | tr '\n' ' ')"
echo "writing $times copies with -wide"
/usr/bin/time -f '  %e s wall, %M KiB peak' "$graphrep" -in "$mesh" -times "$times" -wide -out "$big"
bytes=$(stat -c %s "$big")
echo "  $bytes bytes"
# The floor: the same bytes read by cat. The file is near the machine's memory, so most of
# it comes from the disk, for cat as for the check.
start=$(date +%s%N)
cat "$big" >/dev/null
end=$(date +%s%N)
awk -v b="$bytes" -v ns="$((end - start))" \
    'BEGIN { printf "reading it with cat: %.1f s, %.0f MB/s\n", ns / 1e9, b / 1e6 / (ns / 1e9) }'
echo "checking with -check -wide -stats"
start=$(date +%s%N)
/usr/bin/time -f '  %e s wall, %M KiB peak' "$graphrep" -check -wide -stats -in "$big"
end=$(date +%s%N)
awk -v b="$bytes" -v ns="$((end - start))" 'BEGIN { printf "  %.0f MB/s\n", b / 1e6 / (ns / 1e9) }'
if [ "${ROUND_TRIP:-0}" = 1 ]; then
    echo "reading it back and writing it once with -wide"
    /usr/bin/time -f '  %e s wall, %M KiB peak' "$graphrep" -wide -times 1 -in "$big" -out "$copy"
    if cmp -s <(tail -n +2 "$big") <(tail -n +2 "$copy"); then
        echo "  the copy's lines after its comment are the file's"
    else
        echo "  the copy DIFFERS from the file"
        exit 1
    fi
fi
